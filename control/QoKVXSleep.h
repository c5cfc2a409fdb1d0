// The one way this tool waits: whole seconds of the process's own sleep. Kept
// in a library of its own so tests can link a recording fake instead.
#ifndef KVX_CONTROL_QOKVXSLEEP_H
#define KVX_CONTROL_QOKVXSLEEP_H

void QoKVXSleep(int seconds);

#endif  // KVX_CONTROL_QOKVXSLEEP_H
