#!/usr/bin/python3
# The host's roll-out lock: one roll-out at a time per host, from staging the
# package to its last check.
#
# The lock is a lease rather than a held file lock, because a roll-out is a
# series of separate module runs and no process of it lives on the host from
# the first to the last. The lease is a JSON record in PATH: who took it, when,
# and when that roll-out last showed signs of life (`seen`). Every read and
# write of the record happens under flock(PATH), so two roll-outs never both
# take it. A roll-out sets `seen` when it takes the lease and on every poll
# while UPDSilent runs; a lease not seen for STALE seconds belongs to a roll-out
# that died (its controller was killed, its host became unreachable) and is
# taken over, but never while an installer still runs: the installer's run
# outlives its roll-out, and the next roll-out waits for it and then judges
# it (the taken-over record comes back as `adopted`, with its installer's pid).
from __future__ import annotations

import fcntl
import json
import os
import time

from ansible.module_utils.basic import AnsibleModule

DOCUMENTATION = r"""
module: kvx_hotfix_lock
short_description: The kvx_hotfix role's per-host roll-out lease
description:
  - C(acquired) takes the lease, waiting for a live holder up to O(wait) seconds and for an
    installer that no live roll-out follows up to O(orphan_wait) seconds.
  - C(held) refreshes it; with O(job), also tells whether that async job has finished, and
    records the installer's pid from O(pid_file).
  - C(released) gives it back.
  - In check mode nothing is written; C(acquired) still fails when the lease is held.
options:
  state: {type: str, required: true, choices: [acquired, held, released]}
  path: {type: str, default: /run/kvx-hotfix.lock}
  rollout: {type: str, required: true, description: this roll-out's name}
  owner: {type: str, default: "", description: who runs it, for the message of a second roll-out}
  wait: {type: int, default: 0}
  orphan_wait: {type: int, default: 1800}
  stale: {type: int, default: 300}
  job: {type: str, default: "", description: the async job's results file}
  pid_file: {type: str, default: ""}
"""

INSTALLER = "UPDSilent"


def running_installers():
    """The pids of every UPDSilent on the host, whoever started it."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm", encoding="utf-8") as comm:
                if comm.read().strip() == INSTALLER:
                    pids.append(int(entry))
        except OSError:
            pass  # ended while we looked
    return pids


def read_pid(path):
    try:
        with open(path, encoding="utf-8") as f:
            return int(f.read().strip() or 0) or None
    except (OSError, ValueError):
        return None


def job_finished(results_file):
    """As async_status decides: the job's file no longer says `started`."""
    try:
        with open(results_file, encoding="utf-8") as f:
            return "started" not in json.load(f)
    except (OSError, ValueError):
        return False  # not written yet, or being written


def pid_file_of(path, rollout):
    return f"{path}.{rollout}.pid"


class Lease:
    """The record in PATH, read and written under flock for one `with`."""

    def __init__(self, path, check_mode):
        self.path = path
        self.check_mode = check_mode  # then nothing is created or written
        self.fd = -1

    def __enter__(self):
        try:
            flags = os.O_RDONLY if self.check_mode else os.O_RDWR | os.O_CREAT
            self.fd = os.open(self.path, flags, 0o600)
        except FileNotFoundError:
            return self  # check mode on a host no roll-out has locked yet
        fcntl.flock(self.fd, fcntl.LOCK_EX)
        return self

    def __exit__(self, *exc):
        if self.fd >= 0:
            os.close(self.fd)  # drops the flock

    def read(self):
        if self.fd < 0:
            return None
        os.lseek(self.fd, 0, os.SEEK_SET)
        text = os.read(self.fd, 65536).decode("utf-8", "replace").strip()
        try:
            record = json.loads(text) if text else None
        except ValueError:
            record = None  # a record cut short by a crash: nobody holds it
        return record if isinstance(record, dict) else None

    def write(self, record):
        if self.check_mode:
            return
        data = json.dumps(record, sort_keys=True).encode() if record else b""
        os.ftruncate(self.fd, 0)
        os.lseek(self.fd, 0, os.SEEK_SET)
        os.write(self.fd, data)


def today():
    return time.strftime("%Y%m%d")


def describe(record, now):
    return (f"held by {record.get('owner') or 'an unnamed roll-out'} (roll-out {record.get('rollout')}) "
            f"since {record.get('since_text')}, last seen {int(now - record.get('seen', 0))} s ago")


def acquire(module, p):
    started = time.time()
    while True:
        now = time.time()
        with Lease(p["path"], module.check_mode) as lease:
            record = lease.read()
            if record and record.get("rollout") == p["rollout"]:
                record["seen"] = now
                lease.write(record)
                return {"changed": False, "holder": record, "adopted": None, "today": today()}
            live = record is not None and now - record.get("seen", 0) < p["stale"]
            installers = running_installers()
            if not live and not installers:
                adopted = record
                if adopted and not adopted.get("installer_pid"):
                    adopted["installer_pid"] = read_pid(pid_file_of(p["path"], adopted.get("rollout")))
                mine = {"rollout": p["rollout"], "owner": p["owner"], "since": now,
                        "since_text": time.strftime("%Y-%m-%d %H:%M:%S %Z", time.localtime(now)),
                        "seen": now, "installer_pid": None}
                lease.write(mine)
                if adopted and not module.check_mode:
                    try:  # its pid is in `adopted` now
                        os.unlink(pid_file_of(p["path"], adopted.get("rollout")))
                    except FileNotFoundError:
                        pass
                return {"changed": not module.check_mode, "holder": mine, "adopted": adopted,
                        "today": today()}
        waited = now - started
        if live and waited >= p["wait"]:
            module.fail_json(msg=f"the roll-out lock {p['path']} is {describe(record, now)}; "
                                 f"nothing was staged or run (waited {int(waited)} s, "
                                 f"kvx_hotfix_lock_wait)",
                             holder=record)
        if not live and waited >= p["orphan_wait"]:
            module.fail_json(msg=f"{INSTALLER} (pid {', '.join(map(str, installers))}) still runs with "
                                 f"no roll-out following it after {int(waited)} s "
                                 f"(kvx_hotfix_run_timeout); nothing was staged or run",
                             installers=installers)
        time.sleep(1)


def held(module, p):
    now = time.time()
    with Lease(p["path"], module.check_mode) as lease:
        record = lease.read()
        if not record or record.get("rollout") != p["rollout"]:
            module.fail_json(msg=f"this roll-out lost the lock {p['path']}: "
                                 + (describe(record, now) if record else "nobody holds it")
                                 + f"; it went unseen for over kvx_hotfix_lock_stale ({p['stale']} s)",
                             holder=record)
        if p["pid_file"] and not record.get("installer_pid"):
            record["installer_pid"] = read_pid(p["pid_file"])
        record["seen"] = now
        lease.write(record)
    finished = job_finished(p["job"]) if p["job"] else None
    return {"changed": False, "holder": record, "job_finished": finished, "today": today()}


def released(module, p):
    with Lease(p["path"], module.check_mode) as lease:
        record = lease.read()
        if not record or record.get("rollout") != p["rollout"]:
            return {"changed": False}
        lease.write(None)
        if not module.check_mode:
            try:
                os.unlink(pid_file_of(p["path"], p["rollout"]))
            except FileNotFoundError:
                pass
    return {"changed": True, "holder": record}


def main():
    module = AnsibleModule(
        argument_spec={
            "state": {"type": "str", "required": True, "choices": ["acquired", "held", "released"]},
            "path": {"type": "str", "default": "/run/kvx-hotfix.lock"},
            "rollout": {"type": "str", "required": True},
            "owner": {"type": "str", "default": ""},
            "wait": {"type": "int", "default": 0},
            "orphan_wait": {"type": "int", "default": 1800},
            "stale": {"type": "int", "default": 300},
            "job": {"type": "str", "default": ""},
            "pid_file": {"type": "str", "default": ""},
        },
        supports_check_mode=True,
    )
    action = {"acquired": acquire, "held": held, "released": released}[module.params["state"]]
    module.exit_json(**action(module, module.params))


if __name__ == "__main__":
    main()
