// The font cache: one font of the process for each description at the
// screen's pixels per inch, kept until FreeFontCache.
#include "forms/control.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "forms/application.h"
#include "forms/layout.h"
#include "foundation/handles.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

struct FontKey {
    TFontSpec spec;
    int ppi;
    bool operator<(const FontKey& o) const {
        return std::tie(spec.name, spec.height, spec.bold, spec.italic, spec.underline, ppi) <
               std::tie(o.spec.name, o.spec.height, o.spec.bold, o.spec.italic, o.spec.underline, o.ppi);
    }
};
std::map<FontKey, UniqueGdiObject>& FontCache() {
    static std::map<FontKey, UniqueGdiObject> cache;
    return cache;
}

}  // namespace

HFONT FontHandle(const TFontSpec& font) {
    FontKey key{font, Screen().PixelsPerInch()};
    key.spec.color = CLR_INVALID;
    auto& cache = FontCache();
    auto it = cache.find(key);
    if (it != cache.end()) return static_cast<HFONT>(it->second.get());
    LOGFONTW lf{};
    lf.lfHeight = ScaleDesign(font.height, key.ppi);
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.italic;
    lf.lfUnderline = font.underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    std::wstring face = ToWide(font.name);
    face.resize(std::min<size_t>(face.size(), LF_FACESIZE - 1));
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT h = ::CreateFontIndirectW(&lf);
    cache.emplace(key, UniqueGdiObject(h));
    return h;
}

void FreeFontCache() { FontCache().clear(); }

COLORREF ColorBtnFace() { return ::GetSysColor(COLOR_BTNFACE); }

}  // namespace omb::forms
