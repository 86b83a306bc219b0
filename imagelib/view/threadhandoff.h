#pragma once
// Qt hands posted events, queued calls and finished threads from one thread
// to another through locks that thread checkers cannot see. These two calls
// state each hand-over again in a plain atomic, so that a checker sees the
// order Qt already guarantees. They cost one atomic operation.

// Before handing data to another thread: posting, a queued call, a thread's end.
void PublishToOtherThread();
// Before touching what another thread handed over: receiving, after waiting.
void ReceiveFromOtherThread();
