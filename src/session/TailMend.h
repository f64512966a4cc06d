// Mending a script file that ends in an unfinished record (an append killed
// part-way): the record's bytes are kept in a file of their own, then cut off
// the file under the writers' lock, so the file ends with its last whole
// record again and even the mend loses nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "document/Outcome.h"
#include "generation/ScriptFile.h"

namespace tw {

struct Mended {
    std::uint64_t bytes = 0;  // how many bytes were cut off
    std::string keptFile;     // where they are kept
};

// Looks for an unfinished record at the end of the file at `path` under the
// writers' lock (waiting up to `wait`). When there is one, writes its bytes to
// a new file "torn-<process>-<n>-<file name>" in the folder `keepFolder` gives
// (mode 0600, on the disk first), then cuts the file back to the record's
// start and syncs it. Nothing when the file is whole (it is not changed).
// Fails with a message naming the file, and the file as it was, when it
// cannot be locked, read, kept or cut.
Outcome<std::optional<Mended>> MendTornTail(const std::string& path,
                                            const std::function<Outcome<std::string>()>& keepFolder,
                                            std::chrono::milliseconds wait = WindowLockWait);

// What a mend says it did: the bytes cut off the file, and where they are.
std::string MendReport(const std::string& path, const Mended& mended);

// A script file's unfinished last record as a look-up finds it, without the
// lock: its length, or nothing for a whole file. Fails with a message naming
// the file when it cannot be read.
Outcome<std::optional<std::uint64_t>> TornTailOf(const std::string& path);

}  // namespace tw
