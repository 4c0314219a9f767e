// Times the raster pass against a plain interpretation of the same pages.
// usage: bench_raster [--repeat N] [--splash] file.pdf ...
// For each file: seconds of displaying every page at 150 dpi on a device that does
// nothing, on the run's raster device (with its ruling-line processor), and, with
// --splash, on the core's painting SplashOutputDev; the fastest of N runs counts.
#include <GlobalParams.h>
#include <OutputDev.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <goo/GooString.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PDFR/pdf_ulin.h"
#include "PDFR/raster_dev.h"

namespace {

class null_dev : public OutputDev {
public:
    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return true; }
};

void quiet(ErrorCategory, Goffset, const char*) {}

double seconds(const std::function<void()>& f, int repeat)
{
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best)
            best = s;
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    int repeat = 1;
    bool splash = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--splash") == 0)
            splash = true;
        else
            files.push_back(argv[i]);
    }
    setErrorCallback(&quiet);
    globalParams = std::make_unique<GlobalParams>();
    std::printf("%-58s %6s %9s %9s %7s %9s %8s\n", "file", "pages", "null s", "raster s", "ratio",
                splash ? "splash s" : "", "rules");
    double tn = 0, tr = 0, ts = 0;
    for (const std::string& f : files) {
        std::optional<GooString> pw;
        if (f.find("userpw") != std::string::npos)
            pw = GooString("userpw");
        PDFDoc doc(std::make_unique<GooString>(f), pw, pw);
        if (!doc.isOk()) {
            std::printf("%-58s cannot open\n", f.c_str());
            continue;
        }
        const int n = doc.getNumPages();
        null_dev nd;
        const double a = seconds([&] {
            for (int p = 1; p <= n; ++p)
                doc.displayPage(&nd, p, 150, 150, 0, false, true, false);
        }, repeat);
        long rules = 0;
        const double b = seconds([&] {
            pdf_uline_processor proc(1);
            raster_dev rd;
            rd.startDoc(&doc);
            rules = 0;
            for (int p = 1; p <= n; ++p) {
                doc.displayPage(&rd, p, 150, 150, 0, false, true, false);
                rules += static_cast<long>(proc.lines.size());
                proc.flush();
            }
        }, repeat);
        double c = 0;
        if (splash) {
            c = seconds([&] {
                SplashColor paper;
                paper[0] = paper[1] = paper[2] = 255;
                SplashOutputDev sd(splashModeRGB8, 1, false, paper, true);
                sd.setVectorAntialias(true);
                sd.startDoc(&doc);
                for (int p = 1; p <= n; ++p)
                    doc.displayPage(&sd, p, 150, 150, 0, false, true, false);
            }, 1);
        }
        tn += a;
        tr += b;
        ts += c;
        const char* base = std::strrchr(f.c_str(), '/');
        std::printf("%-58s %6d %9.3f %9.3f %7.2f", base ? base + 1 : f.c_str(), n, a, b, a > 0 ? b / a : 0.0);
        if (splash)
            std::printf(" %9.3f", c);
        else
            std::printf(" %9s", "");
        std::printf(" %8ld\n", rules);
    }
    std::printf("%-58s %6s %9.3f %9.3f %7.2f", "total", "", tn, tr, tn > 0 ? tr / tn : 0.0);
    if (splash)
        std::printf(" %9.3f", ts);
    std::printf("\n");
    return 0;
}
