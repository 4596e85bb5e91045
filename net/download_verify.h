// Whether a local file is still exactly the file a cache record describes, and
// the size and MD5 a record stores. Files are hashed in a bounded streaming
// loop, so memory use does not grow with the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "core/md5.h"
#include "system/scoped_handle.h"

class CacheRecord;
struct KnownDigest;
struct ManifestFile;

// Opens `path` for reading, shared with other readers and writers. With
// `length`, also its length (-1 when unknown), read from the start.
ScopedStdioFile OpenShared(const std::string& path, int64_t* length = nullptr);
// Reads the next `length` bytes of `file` into `take`, piece by piece; false
// when fewer could be read (those that were are taken too).
bool ReadInto(FILE* file, uint64_t length, const std::function<void(const char*, size_t)>& take);
// Finalises `md5` and gives its digest as lowercase hex.
std::string FinalMd5Hex(MD5_CTX* md5);

// The outcome of hashing a whole file.
struct FileDigest {
  bool opened = false;     // the file could be opened for reading
  int64_t length = -1;     // its length when opened (-1 when unknown)
  bool complete = false;   // exactly `length` bytes were read and hashed
  std::string md5;         // lowercase hex when complete
};

// Reads the file at `path` (shared with other readers and writers) to its
// length as seen at opening and hashes what it read. With `expected_length`
// >= 0 a file of another length is not read at all (complete stays false).
FileDigest DigestFile(const std::string& path, int64_t expected_length = -1);

// Recomputes record->localSize and localMd5 from record->localPath, or takes
// them from `known`. An empty or unreadable file gives 0 and ""; a file that
// cannot be opened also clears localPath.
void UpdateFileDigest(CacheRecord* record, const KnownDigest* known = nullptr);

// True when the record names a URL, has a validator, total >= local size >= 1,
// and its local file has exactly the recorded size and MD5 (case ignored).
bool IsCacheRecordValid(const CacheRecord& record);

// A local file longer than its record says (a run that ended between two
// checkpoints of its transfer): when its first localSize bytes still have the
// recorded MD5, and the record is otherwise sound, the file is cut back to
// them. True when the file was cut.
bool TrimToRecord(const CacheRecord& record);

// What a resumed download keeps of a file whose first `length` bytes a resume
// record vouches for, held to the block digests of a signed record: the
// whole blocks from the start that match, up to VerifiedResumeOffset (core/
// block_digests.h), and the MD5 of those bytes. 0 when the record has no
// usable block digests.
KnownDigest VerifyPrefixBlocks(const std::string& path, uint64_t length, const ManifestFile& file);

// Cuts the file at `path` to its first `length` bytes; false when it could
// not be opened or cut.
bool CutFile(const std::string& path, uint64_t length);
