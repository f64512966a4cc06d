// Script files that another process cuts short (and perhaps writes on) while
// the loader reads them backwards in chunks: the load gives exactly what the
// load of the whole bytes gives, or says the file became shorter; never a
// fault. Afterwards the player's whole-file read and the reader take the file
// as it is then. The first bytes choose the chunk size, after which chunk the
// file is cut, to what length, whether new bytes follow the cut, and the
// window a block longer than it is read through.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reading/FileBytes.h"
#include "reading/HapScriptReader.h"
#include "reading/LastAnimationLoader.h"
#include "FuzzChecks.h"

namespace {

using fuzzcheck::Check;
using fuzzcheck::ScratchFile;
using fuzzcheck::WriteAll;

std::array<std::string, tw::RegisterCount> Catalogue() {
    std::array<std::string, tw::RegisterCount> names;
    for (int r = 0; r < tw::RegisterCount; ++r) names[r] = std::string(tw::RegisterCatalogue()[r].name);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    const int cutAfter = data[1] % 8;
    const bool regrow = data[4] & 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 5, size - 5);
    const std::size_t cutTo = ((std::size_t{data[2]} << 8) | data[3]) % (bytes.size() + 1);
    const std::string& path = ScratchFile();
    WriteAll(path, bytes, O_CREAT | O_TRUNC);
    static const auto names = Catalogue();

    int readings = 0;
    bool cut = false;
    tw::LoadControl control;
    control.firstChunkBytes = chunk;
    control.windowBytes = std::size_t{64} << (data[4] >> 1) % 8;
    control.reading = [&](int) {
        if (readings++ != cutAfter) return;
        Check(::truncate(path.c_str(), static_cast<off_t>(cutTo)) == 0);
        if (regrow) WriteAll(path, bytes.substr(0, bytes.size() / 2), O_APPEND);
        cut = true;
    };
    const auto loaded = tw::LoadLastAnimationFromFile(path, names, {}, control);
    if (!cut) {
        Check(loaded.ok() && loaded.value() == tw::LoadLastAnimation(bytes, names));
    } else if (!regrow) {
        // Whatever was read came from the bytes as written: the prefix the
        // cut keeps is unchanged.
        Check(loaded.ok() ? loaded.value() == tw::LoadLastAnimation(bytes, names)
                          : loaded.error() == tw::FileShrankMessage(path));
    }
    const auto whole = tw::ReadWholeFile(path, 1 << 20);
    Check(whole.ok());
    tw::ReadHapScript(whole.value());
    return 0;
}
