// Moves an answer's body into the download's target file. Reads take what
// has arrived and gather in one buffer; a full buffer, or one that has waited
// kGatherMs (a slow line), is written, handed to the digest and reported as
// one chunk, while the next read already runs: the line and the disk work
// side by side.
#pragma once

#include "net/download_call.h"

namespace download_internal {

Outcome TransferBody(Download* download, AttemptState* attempt);

}  // namespace download_internal
