// Loading a language file of 100,000 strings, against a bare load of the same
// file into an XML document.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/xml_storage.h"

using namespace omb;

namespace {
double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

template <typename F> double Best(int runs, F f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const double start = NowMs();
        f();
        best = std::min(best, NowMs() - start);
    }
    return best;
}
}  // namespace

int main() {
    ComInit com;
    CreateMultiLanguages();
    const int kStrings = 100000;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<language id=\"xx\" name=\"Bench\">\r\n<strings>\r\n";
    for (int i = 0; i < kStrings; ++i)
        xml += "<string name=\"Bench_Key_" + std::to_string(i) + "\">Text number " + std::to_string(i) +
               " of the bench, %appname%</string>\r\n";
    xml += "</strings>\r\n</language>\r\n";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "omb_lng_bench.lng";
    {
        UniqueHandle h(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(h.get(), xml.data(), DWORD(xml.size()), &written, nullptr);
    }
    TMultiLanguages* languages = MultiLanguages();
    bool loaded = languages->LoadLanguageFile(file);  // warms the XML service
    const double domMs = Best(3, [&] { OpenXMLFile(file); });
    const double loadMs = Best(3, [&] { loaded = languages->LoadLanguageFile(file) && loaded; });
    const int count = languages->Strings().Count();
    const bool right = GetMLString("Bench_Key_99999", "") == "Text number 99999 of the bench, %appname%";
    DeleteFileA(file.c_str());
    std::printf("file of %zu bytes; strings loaded: %d; last text found: %s\n", xml.size(), count,
                right ? "yes" : "no");
    std::printf("lng: strings=%d load_ms=%.1f dom_load_ms=%.1f ratio=%.2f\n", kStrings, loadMs, domMs,
                loadMs / domMs);
    FreeMultiLanguages();
    return loaded && count == kStrings && right ? 0 : 1;
}
