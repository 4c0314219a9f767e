// The raster device's clip test against the real rasteriser: the same pages painted
// through a SplashOutputDev and through the raster device give the same clip result
// for every fill and stroke, with the raster device walked on its own at 150 dpi and in
// the conversion's one walk at 72 dpi.
#include <gtest/gtest.h>

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <goo/GooString.h>
#include <splash/Splash.h>

#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "PDFR/pdf_ulin.h"
#include "PDFR/raster_dev.h"
#include "karvel/page_walk.h"
#include "pdf_writer.h"
#include "test_support.h"

namespace {

enum class op_kind { fill, hairline, wide };

struct op_result {
    op_kind kind;
    SplashClipResult res;
    bool clip_paths; // a non-rectangular clip was in effect
};

// The real rasteriser, stroke adjustment off, reporting each operation's clip result.
class probe_splash : public SplashOutputDev {
public:
    probe_splash(SplashColorPtr paper) : SplashOutputDev(splashModeRGB8, 1, false, paper, true) {}
    void startPage(int n, GfxState* state, XRef* xref) override
    {
        SplashOutputDev::startPage(n, state, xref);
        getSplash()->setStrokeAdjust(false);
    }
    void fill(GfxState* state) override
    {
        SplashOutputDev::fill(state);
        record(op_kind::fill);
    }
    void eoFill(GfxState* state) override
    {
        SplashOutputDev::eoFill(state);
        record(op_kind::fill);
    }
    void stroke(GfxState* state) override
    {
        SplashOutputDev::stroke(state);
        record(state->getLineWidth() == 0 ? op_kind::hairline : op_kind::wide);
    }
    std::vector<op_result> results;

private:
    void record(op_kind k)
    {
        results.push_back({k, getSplash()->getClipRes(), getSplash()->getClip()->getNumPaths() > 0});
    }
};

class probe_raster : public raster_dev {
public:
    void fill(GfxState* state) override
    {
        raster_dev::fill(state);
        results.push_back({op_kind::fill, last_clip_result(), current_clip().paths});
    }
    void eoFill(GfxState* state) override
    {
        raster_dev::eoFill(state);
        results.push_back({op_kind::fill, last_clip_result(), current_clip().paths});
    }
    void stroke(GfxState* state) override
    {
        raster_dev::stroke(state);
        results.push_back({state->getLineWidth() == 0 ? op_kind::hairline : op_kind::wide, last_clip_result(),
                           current_clip().paths});
    }
    std::vector<op_result> results;
};

// The text side of the walk, taking nothing.
class no_text : public OutputDev {
public:
    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return false; }
};

std::string num(double v)
{
    std::ostringstream s;
    s.precision(6);
    s << std::fixed << v;
    return s.str();
}

// Random page content in raster pixels: thin and thick boxes, hairlines and wide
// strokes in all directions, inside, across and outside rectangular and other clips.
std::string random_page(std::mt19937& rng, double page_w, double page_h)
{
    // boxes and hairlines with edges on or next to a clip edge
    struct box {
        double x0, y0, x1, y1;
    };
    std::vector<box> clips{{0, 0, page_w, page_h}};
    const double nudges[] = {-0.5, -0.001, 0, 0.001, 0.5, 1};
    std::uniform_int_distribution<int> nudge(0, 5);
    std::uniform_real_distribution<double> x(-60, 1340), y(-60, 1710), frac(0, 1);
    std::uniform_real_distribution<double> len(0.2, 400), thin(0.1, 6);
    std::uniform_int_distribution<int> pick(0, 11), grid(0, 1300);
    std::string c = "0.48 0 0 0.48 0 0 cm\n";
    int depth = 0;
    for (int i = 0; i < 120; ++i) {
        // coordinates on whole, half and arbitrary pixels
        const auto coord = [&](double v) {
            switch (pick(rng) % 3) {
            case 0: return static_cast<double>(static_cast<int>(v));
            case 1: return static_cast<int>(v) + 0.5;
            default: return v;
            }
        };
        switch (pick(rng)) {
        case 0:
            if (depth < 4) {
                const box b{coord(x(rng)), coord(y(rng)), 0, 0};
                const double cw = len(rng) * 2, ch = len(rng) * 2;
                c += "q " + num(b.x0) + " " + num(b.y0) + " " + num(cw) + " " + num(ch) + " re W n\n";
                clips.push_back({b.x0, b.y0, b.x0 + cw, b.y0 + ch});
                ++depth;
            }
            break;
        case 1:
            if (depth < 4 && pick(rng) < 3) {
                clips.push_back(clips.back());
                c += "q " + num(x(rng)) + " " + num(y(rng)) + " m " + num(x(rng)) + " " + num(y(rng)) + " l " +
                     num(x(rng)) + " " + num(y(rng)) + " l h W" + (pick(rng) < 5 ? "" : "*") + " n\n";
                ++depth;
            }
            break;
        case 2:
            if (depth > 0) {
                clips.pop_back();
                c += "Q\n";
                --depth;
            }
            break;
        case 3:
        case 4: {
            const bool vertical = pick(rng) < 5;
            const double a = len(rng), b = thin(rng);
            c += num(coord(x(rng))) + " " + num(coord(y(rng))) + " " + num(vertical ? b : a) + " " +
                 num(vertical ? a : b) + " re " + (pick(rng) < 8 ? "f" : "f*") + "\n";
            break;
        }
        case 5:
            c += num(coord(x(rng))) + " " + num(coord(y(rng))) + " " + num(len(rng)) + " " + num(len(rng)) +
                 " re f\n";
            break;
        case 6:
        case 7: {
            const double x0 = coord(x(rng)), y0 = coord(y(rng));
            const int dir = pick(rng) % 3;
            const double l = len(rng);
            const double x1 = dir == 1 ? x0 + frac(rng) * 4 : x0 + l;
            const double y1 = dir == 0 ? y0 + frac(rng) : (dir == 1 ? y0 + l : y0 + l * frac(rng));
            c += "0 w " + num(x0) + " " + num(y0) + " m " + num(x1) + " " + num(y1) + " l";
            if (pick(rng) < 3)
                c += " " + num(x1 + len(rng)) + " " + num(y1) + " l";
            c += " S\n";
            break;
        }
        case 8: {
            const double x0 = coord(x(rng)), y0 = coord(y(rng));
            const bool vertical = pick(rng) < 5;
            const double l = len(rng);
            c += num(thin(rng)) + " w " + std::to_string(pick(rng) % 3) + " J " + num(x0) + " " + num(y0) + " m " +
                 num(vertical ? x0 : x0 + l) + " " + num(vertical ? y0 + l : y0) + " l S\n";
            break;
        }
        case 9: {
            // user y grows upward: the clip's device top is its user y1
            const box& k = clips.back();
            const double bx0 = k.x0 + nudges[nudge(rng)], bx1 = k.x1 + nudges[nudge(rng)];
            const double by1 = k.y1 + nudges[nudge(rng)], by0 = k.y0 + nudges[nudge(rng)];
            switch (pick(rng) % 5) {
            case 0: c += num(bx0) + " " + num(by1 - 2) + " " + num(bx1 - bx0) + " 2 re f\n"; break;
            case 1: c += num(bx0) + " " + num(by0) + " 2 " + num(by1 - by0) + " re f\n"; break;
            case 2: c += "0 w " + num(bx0) + " " + num(by0) + " m " + num(bx1) + " " + num(by0) + " l S\n"; break;
            case 3: c += "0 w " + num(bx1) + " " + num(by0) + " m " + num(bx1) + " " + num(by1) + " l S\n"; break;
            default: c += "2 w " + num(bx0) + " " + num(by1) + " m " + num(bx1) + " " + num(by1) + " l S\n"; break;
            }
            break;
        }
        case 10: {
            // a rounded shape: curves flattened
            const double x0 = x(rng), y0 = y(rng), r = thin(rng) * (pick(rng) < 5 ? 1 : 40);
            const double k = r * 0.5523;
            c += num(x0 + r) + " " + num(y0) + " m " + num(x0 + r) + " " + num(y0 + k) + " " + num(x0 + k) + " " +
                 num(y0 + r) + " " + num(x0) + " " + num(y0 + r) + " c " + num(x0 - k) + " " + num(y0 + r) + " " +
                 num(x0 - r) + " " + num(y0 + k) + " " + num(x0 - r) + " " + num(y0) + " c " + num(x0 - r) + " " +
                 num(y0 - k) + " " + num(x0 - k) + " " + num(y0 - r) + " " + num(x0) + " " + num(y0 - r) + " c " +
                 num(x0 + len(rng)) + " " + num(y0 - r) + " l h " + (pick(rng) < 5 ? "f" : "0 w S") + "\n";
            break;
        }
        default: {
            // a box on whole pixels touching the page's edges
            const int gx = grid(rng);
            c += std::to_string(gx) + " 0 " + std::to_string(grid(rng) % 30 + 1) + " " +
                 std::to_string(grid(rng) + 1) + " re f\n";
            break;
        }
        }
    }
    while (depth-- > 0)
        c += "Q\n";
    return c;
}

// Boxes, hairlines and wide strokes with every edge on or next to a clip edge: the
// page's own box, and clip rectangles on whole and on fractional pixels.
std::string boundary_page(double page_w, double page_h)
{
    const double nudges[] = {-0.5, -0.001, 0, 0.001, 0.5};
    struct box {
        double x0, y0, x1, y1;
    };
    const box clips[] = {{0, 0, page_w, page_h}, {100, 200, 900, 1000}, {100.25, 200.75, 900.4, 1000.6}};
    std::string c = "0.48 0 0 0.48 0 0 cm\n";
    for (const box& k : clips) {
        c += "q " + num(k.x0) + " " + num(k.y0) + " " + num(k.x1 - k.x0) + " " + num(k.y1 - k.y0) + " re W n\n";
        const double mx = (k.x0 + k.x1) / 2, my = (k.y0 + k.y1) / 2;
        for (double a : nudges) {
            for (double b : nudges) {
                // horizontal boxes from edge to edge, at the top and the bottom
                c += num(k.x0 + a) + " " + num(my) + " " + num(k.x1 + b - k.x0 - a) + " 2 re f\n";
                c += num(mx) + " " + num(k.y1 + a - 2) + " 30 " + num(2 + b) + " re f\n";
                c += num(mx) + " " + num(k.y0 + a) + " 30 " + num(2 + b) + " re f\n";
                // vertical boxes from edge to edge, at the left and the right
                c += num(mx) + " " + num(k.y0 + a) + " 2 " + num(k.y1 + b - k.y0 - a) + " re f\n";
                c += num(k.x0 + a) + " " + num(my) + " " + num(2 + b) + " 30 re f\n";
                c += num(k.x1 + a - 2) + " " + num(my) + " " + num(2 + b) + " 30 re f\n";
                // boxes ending at the near edge, starting at the far edge
                c += num(k.x0 - 30) + " " + num(my + 10) + " " + num(30 + b) + " 2 re f\n";
                c += num(k.x1 + a) + " " + num(my + 10) + " 30 2 re f\n";
                c += num(mx + 10) + " " + num(k.y0 - 30) + " 2 " + num(30 + b) + " re f\n";
                c += num(mx + 10) + " " + num(k.y1 + a) + " 2 30 re f\n";
                // hairlines and wide strokes along and across the edges
                c += "0 w " + num(k.x0 + a) + " " + num(my) + " m " + num(k.x1 + b) + " " + num(my) + " l S\n";
                c += "0 w " + num(mx) + " " + num(k.y0 + a) + " m " + num(mx) + " " + num(k.y1 + b) + " l S\n";
                c += "0 w " + num(k.x1 + a) + " " + num(my) + " m " + num(k.x1 + b) + " " + num(my + 40) +
                     " l S\n";
                c += "0 w " + num(mx) + " " + num(k.y1 + a) + " m " + num(mx + 40) + " " + num(k.y1 + b) +
                     " l S\n";
                c += "2 w " + num(k.x0 + a + 1) + " " + num(my) + " m " + num(k.x1 + b - 1) + " " + num(my) +
                     " l S\n";
            }
        }
        c += "Q\n";
    }
    return c;
}

} // namespace

TEST(RasterProbe, ClipResultsEqualTheRasterisers)
{
    if (!globalParams)
        globalParams = std::make_unique<GlobalParams>();
    std::mt19937 rng(20261209);
    pdf_writer w;
    const int pages = 18;
    w.add_page(boundary_page(1275, 1650));
    w.add_page(boundary_page(1251, 1042), 600.3, 500.1);
    for (int i = 2; i < pages; ++i) {
        const double pw = i % 3 == 0 ? 600.3 : 612, ph = i % 4 == 0 ? 500.1 : 792;
        // the page in px as the rasteriser's bitmap has it, whole pixels
        w.add_page(random_page(rng, static_cast<int>(pw * 150 / 72 + 0.5), static_cast<int>(ph * 150 / 72 + 0.5)),
                   pw, ph);
    }
    scratch_dir dir;
    const std::string path = dir.file("probe.pdf");
    ASSERT_TRUE(w.save(path));
    PDFDoc doc(std::make_unique<GooString>(path));
    ASSERT_TRUE(doc.isOk());

    SplashColor paper;
    paper[0] = paper[1] = paper[2] = 255;
    probe_splash real(paper);
    real.setVectorAntialias(true);
    real.startDoc(&doc);
    pdf_uline_processor proc(1);
    probe_raster mine;
    mine.startDoc(&doc);
    probe_raster walked;
    no_text text;
    page_walk_dev walk(&walked, &text);

    size_t compared = 0, inside = 0, outside = 0, partial = 0, captured = 0;
    for (int page = 1; page <= pages; ++page) {
        real.results.clear();
        mine.results.clear();
        walked.results.clear();
        doc.displayPage(&real, page, 150, 150, 0, false, true, false);
        doc.displayPage(&mine, page, 150, 150, 0, false, true, false);
        const size_t captured_alone = proc.lines.size();
        walk.walk(&doc, page, nullptr, nullptr);
        // the walk captures again what the device alone captured
        ASSERT_EQ(proc.lines.size(), 2 * captured_alone) << "page " << page;
        ASSERT_EQ(real.results.size(), mine.results.size()) << "page " << page;
        ASSERT_EQ(walked.results.size(), mine.results.size()) << "page " << page;
        for (size_t k = 0; k < 2 * real.results.size(); ++k) {
            const size_t i = k % real.results.size();
            const op_result& a = real.results[i];
            const op_result& b = k < real.results.size() ? mine.results[i] : walked.results[i];
            ASSERT_EQ(a.kind, b.kind);
            ASSERT_EQ(a.clip_paths, b.clip_paths) << "page " << page << " op " << i;
            if (a.kind == op_kind::hairline && a.clip_paths) {
                // under a clip path the rasteriser looks inside the path for spans;
                // captures depend only on "all outside"
                EXPECT_EQ(a.res == splashClipAllOutside, b.res == splashClipAllOutside)
                    << "page " << page << " op " << i;
            } else {
                EXPECT_EQ(a.res, b.res) << "page " << page << " op " << i;
            }
            ++compared;
            inside += b.res == splashClipAllInside;
            outside += b.res == splashClipAllOutside;
            partial += b.res == splashClipPartial;
        }
        for (size_t i = 0; i < captured_alone; ++i) {
            const auto& a = proc.lines[i];
            const auto& b = proc.lines[captured_alone + i];
            EXPECT_TRUE(a.xMin == b.xMin && a.xMax == b.xMax && a.yMin == b.yMin && a.yMax == b.yMax)
                << "page " << page << " line " << i;
        }
        captured += captured_alone;
        proc.flush();
    }
    // the sample must exercise every result
    EXPECT_GT(compared, 1000u);
    EXPECT_GT(inside, 100u);
    EXPECT_GT(outside, 100u);
    EXPECT_GT(partial, 100u);
    EXPECT_GT(captured, 20u);
    std::printf("compared %zu: inside %zu, outside %zu, partial %zu; captured %zu\n", compared, inside, outside,
                partial, captured);
}
