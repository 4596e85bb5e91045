// Test hooks of the install worker: a point between reading the update list's
// first entry and the worker's one look at the stop request, so a test can
// raise the stop exactly there instead of racing the worker; and a worker
// that cannot be started.
#pragma once

class XGameSetup;

namespace install_hooks {

using EntryReadFn = void (*)(XGameSetup* controller);

// Called on the worker thread right after the entry has been read (not for
// action 0, which ends before the stop is looked at). nullptr removes it.
// Returns the previous hook.
EntryReadFn SetEntryReadHookForTesting(EntryReadFn fn);

// While true, StartInstall finds the worker thread cannot be created, as
// when the system is out of resources.
void SetWorkerStartFailsForTesting(bool fail);

}  // namespace install_hooks
