// Any bytes as a command to the character view, and as register values for
// the figure: a command parses back to exactly its text, and every pose gives
// finite shapes of bounded size.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "figure/Pose.h"
#include "document/ViewCommands.h"
#include "FuzzChecks.h"

using fuzzcheck::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tw::ViewCommand c = tw::ParseViewCommand(text);
    switch (c.kind) {
    case tw::ViewCommandKind::Load: Check("\\load [file= [" + c.path + "]]" == text); break;
    case tw::ViewCommandKind::LoadBackground: Check("\\loadBG [file= [" + c.path + "]]" == text); break;
    case tw::ViewCommandKind::Reset: Check(text == "\\Reset"); break;
    case tw::ViewCommandKind::Unknown: Check(c.path.empty()); break;
    }
    if (c.kind == tw::ViewCommandKind::Load || c.kind == tw::ViewCommandKind::LoadBackground)
        Check(!c.path.empty());
    Check(tw::FileNameOf(text).size() <= size);
    (void)tw::KindOfFile(text);

    // The bytes, cycled, as the 105 register values.
    if (size >= sizeof(float)) {
        tw::PoseValues values{};
        for (int i = 0; i < tw::RegisterCount; ++i) {
            const size_t at = (static_cast<size_t>(i) * sizeof(float)) % (size - sizeof(float) + 1);
            std::memcpy(&values[i], data + at, sizeof(float));
        }
        std::vector<tw::DrawPrimitive> shapes;
        tw::BuildFigure(values, {273, 337}, shapes);
        for (const tw::DrawPrimitive& p : shapes) {
            Check(std::isfinite(p.depth) && std::isfinite(p.width) && std::isfinite(p.height) &&
                  std::isfinite(p.angle));
            for (int k = 0; k < p.count; ++k)
                Check(std::abs(p.points[k].x) < 1e6f && std::abs(p.points[k].y) < 1e6f);
        }
    }
    return 0;
}
