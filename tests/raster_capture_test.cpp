// The raster pass: which painted rules reach the ruling-line processor.
#include <gtest/gtest.h>

#include <Error.h>
#include <GlobalParams.h>
#include <GfxState.h>
#include <PDFDoc.h>
#include <goo/GooString.h>
#include <splash/Splash.h>
#include <splash/SplashBitmap.h>
#include <splash/SplashPath.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "PDFR/dash_bounds.h"
#include "PDFR/pdf_ulin.h"
#include "PDFR/raster_dev.h"
#include "TK/tk_log.h"
#include "pdf_writer.h"
#include "test_support.h"

namespace {

using proc_t = pdf_uline_processor;

// Page content in raster pixels: user space scaled so that one unit is one pixel at
// 150 dpi; y still grows upward from the page bottom (1650 px on a Letter page).
const char* const px_space = "0.48 0 0 0.48 0 0 cm\n";
constexpr double page_h = 1650;

// A rectangle path given with y growing downward.
std::string rect(double x, double y, double w, double h)
{
    std::ostringstream s;
    s << x << ' ' << (page_h - y - h) << ' ' << w << ' ' << h << " re\n";
    return s.str();
}

std::string move_to(double x, double y)
{
    std::ostringstream s;
    s << x << ' ' << (page_h - y) << " m\n";
    return s.str();
}

std::string line_to(double x, double y)
{
    std::ostringstream s;
    s << x << ' ' << (page_h - y) << " l\n";
    return s.str();
}

struct captured {
    proc_t::line_rect box;
    int r, g, b;
};

void ensure_core()
{
    if (!globalParams)
        globalParams = std::make_unique<GlobalParams>();
}

// Runs the raster pass over page 1 of the document and returns what was captured.
std::vector<captured> capture(const pdf_writer& w, unsigned char mode = 1)
{
    ensure_core();
    scratch_dir dir;
    const std::string path = dir.file("page.pdf");
    EXPECT_TRUE(w.save(path));
    PDFDoc doc(std::make_unique<GooString>(path));
    EXPECT_TRUE(doc.isOk());
    std::vector<captured> out;
    proc_t proc(mode);
    raster_dev dev;
    dev.startDoc(&doc);
    doc.displayPage(&dev, 1, 150, 150, 0, false, true, false);
    EXPECT_EQ(proc.lines.size(), proc.line_paints.size());
    for (size_t i = 0; i < proc.lines.size(); ++i)
        out.push_back({proc.lines[i], proc.line_paints[i]->red, proc.line_paints[i]->green,
                       proc.line_paints[i]->blue});
    return out;
}

std::vector<captured> capture(const std::string& content, unsigned char mode = 1)
{
    pdf_writer w;
    w.add_page(px_space + content);
    return capture(w, mode);
}

void expect_box(const captured& c, double x0, double x1, double y0, double y1)
{
    EXPECT_EQ(c.box.key, 0);
    EXPECT_EQ(c.box.xMin, x0);
    EXPECT_EQ(c.box.xMax, x1);
    EXPECT_EQ(c.box.yMin, y0);
    EXPECT_EQ(c.box.yMax, y1);
}

} // namespace

TEST(RasterCapture, ThinFilledBoxInsideTheClip)
{
    const auto lines = capture("0.2 0.4 0.6 rg\n" + rect(10.5, 100.5, 300, 2) + "f\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 310, 100, 102);
    EXPECT_EQ(lines[0].r, 51);
    EXPECT_EQ(lines[0].g, 102);
    EXPECT_EQ(lines[0].b, 153);
}

TEST(RasterCapture, ThinVerticalBox)
{
    const auto lines = capture(rect(50.5, 200.5, 3, 400) + "f\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 50, 53, 200, 600);
}

TEST(RasterCapture, BoxAcrossTheClipIsNotCaptured)
{
    // across a clip rectangle
    EXPECT_TRUE(capture("q " + rect(0, 0, 200, 1650) + "W n\n" + rect(10.5, 100.5, 300, 2) + "f Q\n").empty());
    // across the page's edge
    EXPECT_TRUE(capture(rect(1100.5, 100.5, 300, 2) + "f\n").empty());
    // wholly outside the clip
    EXPECT_TRUE(capture("q " + rect(0, 0, 200, 1650) + "W n\n" + rect(500.5, 100.5, 300, 2) + "f Q\n").empty());
    // inside a smaller clip rectangle: captured
    EXPECT_EQ(capture("q " + rect(0, 0, 400, 1650) + "W n\n" + rect(10.5, 100.5, 300, 2) + "f Q\n").size(), 1u);
}

TEST(RasterCapture, ClipIsRestoredWithTheState)
{
    const auto lines = capture("q " + rect(0, 0, 200, 1650) + "W n Q\n" + rect(10.5, 100.5, 300, 2) + "f\n");
    ASSERT_EQ(lines.size(), 1u);
}

TEST(RasterCapture, ClipPathThatIsNotARectangle)
{
    // a triangle covering the box: the clip is partial, so the box is painted
    const std::string tri = move_to(0, 0) + line_to(1200, 0) + line_to(0, 1600) + "h W n\n";
    EXPECT_TRUE(capture("q " + tri + rect(10.5, 100.5, 300, 2) + "f Q\n").empty());
    // a hairline span under it is still taken: only "all outside" stops it
    const auto lines = capture("q " + tri + "0 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S Q\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 310, 100, 100);
}

TEST(RasterCapture, ShortOrThickBoxesArePainted)
{
    EXPECT_TRUE(capture(rect(10.5, 100.5, 4, 10) + "f\n").empty());   // long side under 11
    EXPECT_TRUE(capture(rect(10.5, 100.5, 9, 2) + "f\n").empty());    // 9 px long
    EXPECT_TRUE(capture(rect(10.5, 100.5, 300, 6) + "f\n").empty());  // 6 px thick
    EXPECT_TRUE(capture(rect(10.5, 100.5, 300, 300) + "f\n").empty()); // a block
    EXPECT_EQ(capture(rect(10.5, 100.5, 11, 4) + "f\n").size(), 1u);  // 11 x 4 px: both limits
}

TEST(RasterCapture, EvenOddFillIsCapturedToo)
{
    const auto lines = capture(rect(10.5, 100.5, 300, 2) + "f*\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 310, 100, 102);
}

TEST(RasterCapture, SeveralSubpathsInModeOne)
{
    // two boxes in one path: one box around both, 3 px high: captured in mode 1 only
    const std::string two = rect(10.5, 100.5, 100, 1) + rect(200.5, 102.5, 100, 1) + "f\n";
    const auto lines = capture(two, 1);
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 300, 100, 103);
    EXPECT_TRUE(capture(two, 0).empty());
}

TEST(RasterCapture, ModeZeroTakesSingleThinBoxesOfAnyLength)
{
    auto lines = capture(rect(10.5, 100.5, 5, 2) + "f\n", 0);
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 15, 100, 102);
    EXPECT_TRUE(capture(rect(50.5, 200.5, 3, 400) + "f\n", 0).empty()); // vertical: tall
}

TEST(RasterCapture, HairlineTwoPointPath)
{
    const auto lines = capture("1 0 0 RG 0 w " + move_to(10.7, 100.2) + line_to(310.9, 100.9) + "S\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 310, 100, 100);
    EXPECT_EQ(lines[0].r, 255);
    EXPECT_EQ(lines[0].g, 0);
}

TEST(RasterCapture, HairlineEndsAreOrdered)
{
    const auto lines = capture("0 w " + move_to(310.5, 100.5) + line_to(10.5, 100.5) + "S\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 310, 100, 100);
}

TEST(RasterCapture, HairlineInALongerPathIsDrawn)
{
    EXPECT_TRUE(
        capture("0 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + line_to(310.5, 400.5) + "S\n").empty());
    EXPECT_TRUE(capture("0 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + move_to(10.5, 200.5) +
                        line_to(310.5, 200.5) + "S\n")
                    .empty());
}

TEST(RasterCapture, VerticalHairline)
{
    auto lines = capture("0 w " + move_to(50.5, 600.5) + line_to(52.5, 100.5) + "S\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 50, 52, 100, 600);
    EXPECT_TRUE(capture("0 w " + move_to(50.5, 100.5) + line_to(50.5, 600.5) + "S\n", 0).empty());
    EXPECT_TRUE(capture("0 w " + move_to(50.5, 100.5) + line_to(50.5, 110.5) + "S\n").empty()); // 10 px
    EXPECT_TRUE(capture("0 w " + move_to(50.5, 100.5) + line_to(55.5, 300.5) + "S\n").empty()); // 5 across
}

TEST(RasterCapture, ShortHorizontalHairlineIsTaken)
{
    // the span rule has no length limit
    const auto lines = capture("0 w " + move_to(10.5, 100.5) + line_to(13.5, 100.5) + "S\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 13, 100, 100);
}

TEST(RasterCapture, DiagonalHairlineIsDrawn)
{
    EXPECT_TRUE(capture("0 w " + move_to(10.5, 100.5) + line_to(310.5, 400.5) + "S\n").empty());
    EXPECT_TRUE(capture("0 w " + move_to(10.5, 100.5) + line_to(310.5, 120.5) + "S\n").empty());
}

TEST(RasterCapture, HairlineOutsideTheClip)
{
    EXPECT_TRUE(capture("q " + rect(0, 0, 200, 1650) + "W n 0 w " + move_to(300.5, 100.5) + line_to(600.5, 100.5) +
                        "S Q\n")
                    .empty());
    // partly inside: taken whole
    const auto lines = capture("q " + rect(0, 0, 200, 1650) + "W n 0 w " + move_to(100.5, 100.5) +
                               line_to(600.5, 100.5) + "S Q\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 100, 600, 100, 100);
}

TEST(RasterCapture, DashedHairlineGivesItsFirstDash)
{
    const auto lines = capture("[20 10] 0 d 0 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 30, 100, 100);
    // with a phase the first dash is shorter
    const auto shifted = capture("[20 10] 15 d 0 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S\n");
    ASSERT_EQ(shifted.size(), 1u);
    expect_box(shifted[0], 10, 15, 100, 100);
    // a dash wholly outside the clip is not the first qualifying one
    const auto clipped = capture("q " + rect(40, 0, 2000, 1650) + "W n [20 10] 0 d 0 w " + move_to(10.5, 100.5) +
                                 line_to(310.5, 100.5) + "S Q\n");
    ASSERT_EQ(clipped.size(), 1u);
    expect_box(clipped[0], 40, 60, 100, 100);
    // without a phase an empty first dash is a dot at the start, and that dot is taken
    const auto dotted = capture("[0 20] 0 d 0 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S\n");
    ASSERT_EQ(dotted.size(), 1u);
    expect_box(dotted[0], 10, 10, 100, 100);
    // with a phase the empty entry is passed over like any other
    const auto dotted_shifted =
        capture("[0 20] 5 d 0 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S\n");
    ASSERT_EQ(dotted_shifted.size(), 1u);
    expect_box(dotted_shifted[0], 25, 25, 100, 100);
    // a pattern of zero length strokes nothing
    EXPECT_TRUE(capture("[0 0] 0 d 0 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S\n").empty());
}

TEST(RasterCapture, FineDashPatternStaysBounded)
{
    const auto lines =
        capture("[0.0001] 0 d 0 w " + move_to(10.5, 100.5) + line_to(10.5, 100000.5) + "S\n");
    EXPECT_LE(lines.size(), 1u);
}

TEST(RasterCapture, WideStrokeIsFilledAndCaptured)
{
    const auto lines = capture("0 0 1 RG 1 0 0 rg 2 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 310, 99, 101);
    EXPECT_EQ(lines[0].r, 0); // the stroke colour, not the fill colour
    EXPECT_EQ(lines[0].b, 255);
    // too short, too wide
    EXPECT_TRUE(capture("2 w " + move_to(10.5, 100.5) + line_to(20.5, 100.5) + "S\n").empty());
    EXPECT_TRUE(capture("8 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S\n").empty());
    // square caps lengthen it
    const auto capped = capture("2 J 2 w " + move_to(10.5, 100.5) + line_to(310.5, 100.5) + "S\n");
    ASSERT_EQ(capped.size(), 1u);
    expect_box(capped[0], 9, 311, 99, 101);
}

TEST(RasterCapture, WideStrokeOfALongerPathInModeOne)
{
    // a vertical polyline: its outline is thin and tall, whatever the subpath count
    const std::string poly = "2 w " + move_to(50.5, 100.5) + line_to(50.5, 300.5) + line_to(50.5, 600.5) + "S\n";
    const auto lines = capture(poly, 1);
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 49, 51, 100, 600);
    EXPECT_TRUE(capture(poly, 0).empty());
}

TEST(RasterCapture, DashedWideStrokeIsNotOneLine)
{
    // the outline of the dashes spans the whole length; each dash is a subpath of it
    const auto lines = capture("[20 10] 0 d 2 w " + move_to(10.5, 100.5) + line_to(305.5, 100.5) + "S\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 300, 99, 101);
}

TEST(RasterCapture, EnormousDashedWideStrokeIsBounded)
{
    // half a billion dash pieces: only the first and the last are worked out, and the
    // stroke reaches past the page; a stroke whose outline cannot reach the clip is not
    // outlined at all
    const std::string huge = "[0.01 0.01] 0 d 2 w 100.5 1349.5 m 10000000 1349.5 l S\n"
                             "-10000000 -5000 m -1000000 -5000 l S\n";
    const auto lines = capture(huge + "[] 0 d " + rect(10.5, 400.5, 300, 2) + "f\n");
    ASSERT_EQ(lines.size(), 1u); // only the box after them
    expect_box(lines[0], 10, 310, 400, 402);
}

namespace {

// The box of a stroke's outline in px, control points included; empty: no outline.
struct outline_box {
    bool empty = true;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

const double stroke_matrix[6] = {150.0 / 72, 0, 0, -150.0 / 72, 0, 1650};

struct stroke_style {
    int cap = 0;
    int join = 0;
    double width = 1;
    double miter = 10;
};

outline_box box_of(SplashPath* outline)
{
    const double* m = stroke_matrix;
    outline_box b;
    for (int i = 0; outline && i < outline->getLength(); ++i) {
        double x, y;
        unsigned char f;
        outline->getPoint(i, &x, &y, &f);
        const double px = m[0] * x + m[2] * y + m[4], py = m[1] * x + m[3] * y + m[5];
        if (b.empty) {
            b = {false, px, py, px, py};
        } else {
            b.x0 = std::min(b.x0, px);
            b.y0 = std::min(b.y0, py);
            b.x1 = std::max(b.x1, px);
            b.y1 = std::max(b.y1, py);
        }
    }
    return b;
}

// The stroker's outline of path: flattened and dashed by it (flatten), or taken as it is.
std::unique_ptr<SplashPath> stroke_outline(SplashPath& path, std::vector<double> dash, double phase,
                                           const stroke_style& style, bool flatten = true)
{
    SplashColor paper;
    paper[0] = paper[1] = paper[2] = 255;
    SplashBitmap bitmap(1, 1, 1, splashModeRGB8, false, true);
    Splash splash(&bitmap, true);
    splash.clear(paper);
    double m[6];
    std::copy(stroke_matrix, stroke_matrix + 6, m);
    splash.setMatrix(m);
    splash.setLineWidth(style.width);
    splash.setLineCap(style.cap);
    splash.setLineJoin(style.join);
    splash.setMiterLimit(style.miter);
    splash.setLineDash(std::move(dash), phase);
    return std::unique_ptr<SplashPath>(splash.makeStrokePath(&path, style.width, flatten));
}

// A random path of about the given length: one segment, a polyline, closed or not, a
// rectangle, or curves, closed or not.
void random_path(std::mt19937& rng, double length, SplashPath& path)
{
    std::uniform_real_distribution<double> unit(0, 1);
    const int kind = static_cast<int>(rng() % 6);
    const double x0 = 600 * unit(rng), y0 = 600 * unit(rng);
    const auto step = [&](double len, double* x, double* y) {
        if (unit(rng) < 0.4) {
            const int quarter = static_cast<int>(rng() % 4);
            *x += quarter == 0 ? len : quarter == 2 ? -len : 0;
            *y += quarter == 1 ? len : quarter == 3 ? -len : 0;
        } else {
            const double a = 2 * M_PI * unit(rng);
            *x += len * std::cos(a);
            *y += len * std::sin(a);
        }
    };
    double x = x0, y = y0;
    path.moveTo(x, y);
    if (kind == 0) {
        step(length, &x, &y);
        path.lineTo(x, y);
    } else if (kind <= 2) {
        const int points = 2 + static_cast<int>(rng() % 5);
        for (int i = 0; i < points; ++i) {
            step(length / points, &x, &y);
            path.lineTo(x, y);
        }
        if (kind == 2)
            path.close();
    } else if (kind == 3) {
        const double w = length / 4 * (0.2 + 1.6 * unit(rng)), h = length / 2 - w;
        path.lineTo(x0 + w, y0);
        path.lineTo(x0 + w, y0 + h);
        path.lineTo(x0, y0 + h);
        path.close();
    } else {
        const int curves = 1 + static_cast<int>(rng() % 2);
        for (int i = 0; i < curves; ++i) {
            double xs[3], ys[3];
            for (int k = 0; k < 3; ++k) {
                xs[k] = x;
                ys[k] = y;
                step(length / curves / 2, &xs[k], &ys[k]);
            }
            path.curveTo(xs[0], ys[0], xs[1], ys[1], xs[2], ys[2]);
            x = xs[2];
            y = ys[2];
        }
        if (kind == 5)
            path.close();
    }
}

} // namespace

TEST(RasterCapture, CurvesAreFlattenedForDashingAsTheStrokerDoes)
{
    std::mt19937 rng(20);
    for (int n = 0; n < 200; ++n) {
        SplashPath path;
        random_path(rng, 1 + rng() % 2000, path);
        stroke_style style;
        style.join = static_cast<int>(rng() % 3);
        const auto whole = stroke_outline(path, {}, 0, style);
        double m[6];
        std::copy(stroke_matrix, stroke_matrix + 6, m);
        SplashPath flat;
        flatten_for_dashing(path, m, 1, flat);
        const auto ours = stroke_outline(flat, {}, 0, style, false);
        ASSERT_EQ(whole->getLength(), ours->getLength()) << "case " << n;
        for (int i = 0; i < whole->getLength(); ++i) {
            double xa, ya, xb, yb;
            unsigned char fa, fb;
            whole->getPoint(i, &xa, &ya, &fa);
            ours->getPoint(i, &xb, &yb, &fb);
            ASSERT_TRUE(xa == xb && ya == yb && fa == fb) << "case " << n << " point " << i;
        }
    }
}

TEST(RasterCapture, BoundingDashPiecesGiveTheBoxOfTheDashedPath)
{
    // Random paths (segments, polylines, closed ones, rectangles, curves), dashed whole by
    // the stroker and outlined by the pieces that bound their dashing on each segment: the
    // boxes agree to a millionth of a pixel. Patterns have empty entries and entries below
    // 1e-3, phases lie within 1e-12 of an entry's boundary. The lengths are random: where a
    // segment ends exactly where an entry starts, the stroker's running sums decide either
    // way; and the stroker turns the caps of pieces below 1e-3 by their rounded end points.
    // Phases of 2^31 periods and more are placed as the stroker places them.
    std::mt19937 rng(16);
    std::uniform_real_distribution<double> unit(0, 1);
    int drawn = 0, huge_phases = 0;
    for (int n = 0; n < 1500; ++n) {
        std::vector<double> dash(1 + rng() % 5);
        double period = 0;
        for (double& v : dash) {
            const double kind = unit(rng);
            v = kind < 0.2 ? 0 : kind < 0.5 ? 1e-5 + 1e-3 * unit(rng) : 0.01 + 3 * unit(rng);
            period += v;
        }
        if (period == 0) {
            dash[0] = 1;
            period = 1;
        }
        double phase = 0;
        const double phase_kind = unit(rng);
        if (phase_kind < 0.4) {
            // an entry's boundary, a whole number of periods on, give or take 1e-12
            double boundary = period * static_cast<double>(rng() % 4);
            const size_t entry = rng() % dash.size();
            for (size_t k = 0; k < entry; ++k)
                boundary += dash[k];
            phase = boundary + (unit(rng) < 0.5 ? -1 : 1) * 1e-12 * unit(rng);
        } else if (phase_kind < 0.6) {
            phase = 3 * period * unit(rng);
        } else if (phase_kind < 0.8) {
            // 2^30 to 2^33 periods either way: the stroker counts them as an int
            phase = (unit(rng) < 0.5 ? -1 : 1) * period * std::exp2(30 + 3 * unit(rng));
        }
        stroke_style style;
        style.cap = static_cast<int>(rng() % 3);
        style.join = static_cast<int>(rng() % 3);
        style.width = 0.1 + 5 * unit(rng);
        style.miter = 1 + 9 * unit(rng);
        // up to 200,000 pieces, so that the stroker's dashing stays cheap
        const double pieces = unit(rng) < 0.2 ? 6 * unit(rng) : 1 + 200000 * unit(rng) * unit(rng);
        const double length =
            std::min(1500 + 1500 * unit(rng), pieces * period / static_cast<double>(dash.size()));
        SplashPath path;
        random_path(rng, length, path);
        SCOPED_TRACE(::testing::Message() << "case " << n << " cap " << style.cap << " join " << style.join
                                          << " entries " << dash.size() << " phase " << phase << " length "
                                          << length);
        const auto whole = stroke_outline(path, dash, phase, style);
        double m[6];
        std::copy(stroke_matrix, stroke_matrix + 6, m);
        SplashPath flat;
        flatten_for_dashing(path, m, 1, flat);
        const dash_bounds bounds(dash, phase, style.cap == 1);
        SplashPath ends;
        ASSERT_TRUE(bounds.add_bounds(flat, ends));
        huge_phases += std::fabs(phase) >= 2147483648.0 * period;
        ASSERT_LE(ends.getLength(), 12 * flat.getLength());
        const auto fast = stroke_outline(ends, {}, 0, style, false);
        const outline_box a = box_of(whole.get()), b = box_of(fast.get());
        ASSERT_EQ(a.empty, b.empty);
        if (a.empty)
            continue;
        ++drawn;
        EXPECT_NEAR(a.x0, b.x0, 1e-6);
        EXPECT_NEAR(a.y0, b.y0, 1e-6);
        EXPECT_NEAR(a.x1, b.x1, 1e-6);
        EXPECT_NEAR(a.y1, b.y1, 1e-6);
    }
    EXPECT_GT(drawn, 1100);
    EXPECT_GT(huge_phases, 100);
}

TEST(RasterCapture, FineDashedWideRulesAreCaptured)
{
    // 450 pt rules of [0.004 0.004]: 112,500 dash pieces each, beyond the cap; the one at
    // y = 690 is thin enough in px to be a rule, the one at 720 is not
    pdf_writer w;
    w.add_page("[0.004 0.004] 0 d 2 w 72 720 m 522 720 l S 72 690 m 522 690 l S\n");
    const auto lines = capture(w);
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 150, 1087, 210, 214);
}

TEST(RasterCapture, FineDashedRulesBeyondTheCapAreCaptured)
{
    // Beyond the cap on dash pieces: a closed subpath (there and back, 225,000 pieces), a
    // line whose first piece is far below the coordinates' resolution, a polyline, a rule
    // drawn as a curve and phases of 2^31 periods and more; each gives the rule the
    // stroker's whole dashing gives
    pdf_writer w;
    w.add_page("0.6 w [0.002 0.002] 0 d 72 690 m 522 690 l h S\n"
               "[0.0005 0.0001] 0.00049999999999 d 1 w 111 620 m 111 661 l S\n"
               "[0.002 0.002] 0 d 0.6 w 72 500 m 300 500 l 522 500 l S\n"
               "72 400 m 222 400 372 400 522 400 c S\n"
               "[0.001] 2147483.648 d 72 300 m 522 300 l S [0.001] -1000000000 d 72 200 m 522 200 l S\n"
               "[0.001] 2147483.6485 d 72 100 m 522 100 l S\n");
    auto lines = capture(w);
    ASSERT_EQ(lines.size(), 6u);
    std::sort(lines.begin(), lines.end(),
              [](const captured& a, const captured& b) { return a.box.yMin < b.box.yMin; });
    expect_box(lines[0], 150, 1087, 211, 213);
    expect_box(lines[1], 230, 232, 272, 358);
    expect_box(lines[2], 150, 1087, 607, 608);
    expect_box(lines[3], 150, 1087, 816, 817);
    // a phase just short of 2^31 periods; a large negative phase: counted beyond an int,
    // the stroker strokes it solid; 2^31 periods and a half draw nothing
    expect_box(lines[4], 150, 1087, 1024, 1025);
    expect_box(lines[5], 150, 1087, 1232, 1233);
}

TEST(RasterCapture, TextCapturesNothing)
{
    std::string content;
    for (int mode = 0; mode < 8; ++mode)
        content += "BT /Helvetica 48 Tf " + std::to_string(mode) + " Tr 100 " + std::to_string(1500 - 100 * mode) +
                   " Td (____ ---- ||||) Tj ET\n";
    content += "BT /Courier 30 Tf 7 Tr 100 300 Td (clip) Tj ET\n";
    // a text clip adds no clip: the box after it is still whole
    content += rect(10.5, 1400.5, 300, 2) + "f\n";
    const auto lines = capture(content);
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 310, 1400, 1402);
}

TEST(RasterCapture, RulesInsideType3Glyphs)
{
    pdf_writer w;
    const int bar = w.add_stream("", "1000 0 0 0 1000 1000 d1 0 0 1000 10 re f");
    const int dot = w.add_stream("", "1000 0 d0 0 0 100 100 re f");
    const int font =
        w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                     "/CharProcs << /bar " + std::to_string(bar) + " 0 R /dot " + std::to_string(dot) +
                     " 0 R >> /Encoding << /Type /Encoding /Differences [97 /bar /dot] >> /FirstChar 97 "
                     "/LastChar 98 /Widths [1000 1000] /Resources << >> >>");
    const int p = w.add_page(std::string(px_space) + "0 1 0 rg BT /T3 100 Tf 100.5 1000.5 Td (ab) Tj ET\n");
    w.page_at(p).extra_fonts["T3"] = font;
    const auto lines = capture(w);
    ASSERT_EQ(lines.size(), 1u); // the bar, not the dot
    expect_box(lines[0], 100, 200, 648, 649);
    EXPECT_EQ(lines[0].g, 255);
    EXPECT_EQ(lines[0].r, 0);
}

namespace {

// The raster device, counting its fills, strokes and the glyph procedures it runs.
class counting_dev : public raster_dev {
public:
    void fill(GfxState* state) override
    {
        ++fills;
        raster_dev::fill(state);
    }
    void stroke(GfxState* state) override
    {
        ++strokes;
        raster_dev::stroke(state);
    }
    void type3D0(GfxState*, double, double) override { ++runs; }
    // called for every glyph whose procedure the interpreter was let run
    void endType3Char(GfxState* state) override
    {
        ++ends;
        raster_dev::endType3Char(state);
    }
    int fills = 0, strokes = 0, runs = 0, ends = 0;
};

// The document's first page on the device at 150 dpi.
void display_first_page(const pdf_writer& w, counting_dev& dev)
{
    ensure_core();
    scratch_dir dir;
    ASSERT_TRUE(w.save(dir.file("page.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("page.pdf")));
    dev.startDoc(&doc);
    doc.displayPage(&dev, 1, 150, 150, 0, false, true, false);
}

} // namespace

TEST(RasterCapture, Type3GlyphsThatPaintOnlySmallBoxesRunOnce)
{
    // 'a' paints a dot (never captured), 'b' a bar, 'c' a short hairline (captured at any length)
    pdf_writer w;
    const int dot = w.add_stream("", "1000 0 d0 0 0 60 60 re f");
    const int bar = w.add_stream("", "1000 0 d0 0 0 1000 10 re f");
    const int hair = w.add_stream("", "1000 0 d0 0 w 0 0 m 30 0 l S");
    const int font =
        w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                     "/CharProcs << /a " + std::to_string(dot) + " 0 R /b " + std::to_string(bar) + " 0 R /c " +
                     std::to_string(hair) + " 0 R >> /Encoding << /Type /Encoding /Differences [97 /a /b /c] >> "
                     "/FirstChar 97 /LastChar 99 /Widths [1000 1000 1000] >>");
    std::string text = std::string(px_space) + "BT /T3 20 Tf";
    for (int row = 0; row < 10; ++row)
        text += " 1 0 0 1 100.3 " + std::to_string(1500.7 - 40 * row) + " Tm (aaaaa bbbbb ccccc)' 0 Tw (aaa) Tj";
    const int p = w.add_page(text + " ET\n");
    w.page_at(p).extra_fonts["T3"] = font;

    proc_t proc(1);
    counting_dev dev;
    display_first_page(w, dev);
    // the dot's procedure runs once for its size, the bar's and the hairline's for every glyph
    EXPECT_EQ(dev.fills, 1 + 50);
    EXPECT_EQ(dev.strokes, 50);
    EXPECT_EQ(proc.lines.size(), 100u); // every bar and every hairline
}

TEST(RasterCapture, Type3GlyphsThatCannotPaintAreNotRun)
{
    // Not run: 'a' (metrics only), 'b' (state, colours, a path not ended, text placement),
    // 'd' (an unbalanced Q restores nothing outside the procedure), 'h' (the font
    // has no procedure for it). Run: 'c' paints a hairline, 'e' shows text in the font it
    // inherits, 'f' text in Helvetica, 'g' text in a Type 3 font that paints nothing, 'i'
    // an operator not known; inside them 'a' of either font is not run.
    pdf_writer w;
    const int empty = w.add_stream("", "1000 0 d0");
    const int inner = w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 "
                                   "0.001 0 0] /CharProcs << /a " + std::to_string(empty) + " 0 R >> /Encoding << "
                                   "/Type /Encoding /Differences [97 /a] >> /FirstChar 97 /LastChar 97 /Widths [1000] >>");
    const char* procs[] = {"1000 0 d0",
                           "1000 0 d0 q 1 0 0 1 5 5 cm 0 0 m 10 10 l 0 g [1 2] 0 d /Pattern cs /P0 scn "
                           "BT /T3 1 Tf 2 0 Td 3 Tr ET Q",
                           "1000 0 d0 0 w 0 0 m 30 0 l S",
                           "1000 0 d0 q Q Q",
                           "1000 0 d0 BT (a) Tj ET",
                           "1000 0 d0 BT /F1 1000 Tf (x) Tj ET",
                           "1000 0 d0 BT /In 1000 Tf [(a) 5 (aa)] TJ ET",
                           nullptr,
                           "1000 0 d0 0 0 m 30 0 l zork"};
    std::string entries;
    char name = 'a';
    for (const char* proc : procs) {
        if (proc != nullptr)
            entries += std::string("/") + name + " " + std::to_string(w.add_stream("", proc)) + " 0 R ";
        ++name;
    }
    const int font =
        w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                     "/CharProcs << " + entries + ">> /Encoding << /Type /Encoding /Differences [97 /a /b /c /d /e "
                     "/f /g /h /i] >> /FirstChar 97 /LastChar 105 /Widths [1000 1000 1000 1000 1000 1000 1000 1000 "
                     "1000] /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> /In " +
                     std::to_string(inner) + " 0 R >> >> >>");
    const int p = w.add_page(std::string(px_space) +
                             "BT /T3 20 Tf 100.3 1500.7 Td (aaaabbbbccccddddeeeeffffgggghhhhiiii) Tj ET\n");
    w.page_at(p).extra_fonts["T3"] = font;

    proc_t proc(1);
    counting_dev dev;
    display_first_page(w, dev);
    EXPECT_EQ(dev.ends, 20); // 'c', 'e', 'f', 'g' and 'i' four times each
    EXPECT_EQ(dev.runs, 20);
    EXPECT_EQ(proc.lines.size(), 4u); // the hairlines
}

namespace {

// The captured rules of page 1, with every glyph procedure run or with those that cannot
// paint skipped; runs: the glyphs whose procedures ran.
std::vector<captured> capture_doc(PDFDoc& doc, bool skipping, int* runs = nullptr)
{
    std::vector<captured> out;
    proc_t proc(1);
    counting_dev dev;
    dev.glyph_procedures().set_skipping(skipping);
    dev.startDoc(&doc);
    doc.displayPage(&dev, 1, 150, 150, 0, false, true, false);
    for (size_t i = 0; i < proc.lines.size(); ++i)
        out.push_back({proc.lines[i], proc.line_paints[i]->red, proc.line_paints[i]->green,
                       proc.line_paints[i]->blue});
    if (runs != nullptr)
        *runs = dev.ends;
    return out;
}

bool same_rules(const std::vector<captured>& a, const std::vector<captured>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].box.xMin != b[i].box.xMin || a[i].box.xMax != b[i].box.xMax || a[i].box.yMin != b[i].box.yMin ||
            a[i].box.yMax != b[i].box.yMax || a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b)
            return false;
    return true;
}

} // namespace

TEST(RasterCapture, Type3TextInsideAGlyphRunsHoweverItsFontResolves)
{
    // Each glyph of /T shows text whose font only the interpreter resolves; where that is
    // the painting font /P, a rule is drawn: 'a' sets a font with a rejected Tf (the
    // glyph's own font stays, and its 'b' paints), 'c' names a font of its own resources
    // given indirectly, 'd' and 'e' a font named twice (in either order), 'f' a font that
    // does not load (no dictionary), so the name is looked up further out (the page's /X).
    pdf_writer w;
    const int bar = w.add_stream("", "0 0 d0 0 0 300 2 re f");
    const int painting = w.add_type3_font({bar});
    const std::string helvetica = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    const std::string p_ref = std::to_string(painting) + " 0 R";
    const int own_fonts = w.add_object("<< /F1 " + p_ref + " >>");
    const auto shows = [](const char* name) { return std::string("0 0 d0 BT /") + name + " 1 Tf (a) Tj ET"; };
    const int a = w.add_stream("", "0 0 d0 BT /H 1 1 Tf (b) Tj ET");
    const int c = w.add_stream("/Resources << /Font " + std::to_string(own_fonts) + " 0 R >>",
                               shows("F1"));
    const int d = w.add_stream("/Resources << /Font << /D " + p_ref + " /D " + helvetica + " >> >>",
                               shows("D"));
    const int e = w.add_stream("/Resources << /Font << /D " + helvetica + " /D " + p_ref + " >> >>",
                               shows("D"));
    const int f = w.add_stream("", shows("X"));
    const int font = w.add_type3_font({a, bar, c, d, e, f}, "/Resources << /Font << /H " + helvetica + " /F1 " +
                                                                 helvetica + " /X (no font) >> >>");
    std::string text = px_space;
    int y = 1500;
    for (const char* glyph : {"a", "c", "d", "e", "f"}) {
        text += "BT /T 1 Tf 100.5 " + std::to_string(y) + ".5 Td (" + glyph + ") Tj ET\n";
        y -= 100;
    }
    const int p = w.add_page(text);
    w.page_at(p).extra_fonts["T"] = font;
    w.page_at(p).extra_fonts["X"] = painting;

    ensure_core();
    scratch_dir dir;
    ASSERT_TRUE(w.save(dir.file("page.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("page.pdf")));
    const auto every_run = capture_doc(doc, false);
    const auto skipping = capture_doc(doc, true);
    ASSERT_EQ(every_run.size(), 4u); // 'e' resolves to Helvetica
    EXPECT_TRUE(same_rules(every_run, skipping));
}

TEST(RasterCapture, Type3GlyphsRunThatChangeWhatPaintsAfterThem)
{
    // The pending clip and the marked content are the interpreter's, not the state's: 'w'
    // leaves a clip pending, which the page's next n applies (the first rule is clipped
    // away); 'n' uses up the clip pending before it (the second rule, across that clip, is
    // captured); 'e' ends the hidden content it runs in (the third rule is drawn).
    pdf_writer w;
    const int hidden = w.add_object("<< /Type /OCG /Name (hidden) >>");
    w.catalog_entries = "/OCProperties << /OCGs [" + std::to_string(hidden) + " 0 R] /D << /OFF [" +
                        std::to_string(hidden) + " 0 R] >> >>";
    const int font = w.add_object(
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 0 0] /FontMatrix [1 0 0 1 0 0] /CharProcs << /w " +
        std::to_string(w.add_stream("", "0 0 d0 W")) + " 0 R /n " + std::to_string(w.add_stream("", "0 0 d0 n")) +
        " 0 R /e " + std::to_string(w.add_stream("", "0 0 d0 EMC")) + " 0 R >> /Encoding << /Type /Encoding "
        "/Differences [101 /e 110 /n 119 /w] >> /FirstChar 101 /LastChar 119 /Widths [0 0 0 0 0 0 0 0 0 0 0 0 0 0 "
        "0 0 0 0 0] >>");
    const int p = w.add_page(std::string(px_space) +
                             "q 100 1500 m 400 1500 l BT /T 1 Tf (w) Tj ET n 100.5 1500.5 300 2 re f Q\n"
                             "q 0 0 300 1650 re W BT /T 1 Tf (n) Tj ET n 100.5 1300.5 300 2 re f Q\n"
                             "/OC /oc1 BDC BT /T 1 Tf (e) Tj ET 100.5 1100.5 300 2 re f EMC\n");
    w.page_at(p).extra_fonts["T"] = font;
    w.page_at(p).extra_resources = "/Properties << /oc1 " + std::to_string(hidden) + " 0 R >>";

    ensure_core();
    scratch_dir dir;
    ASSERT_TRUE(w.save(dir.file("page.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("page.pdf")));
    const auto every_run = capture_doc(doc, false);
    const auto skipping = capture_doc(doc, true);
    ASSERT_EQ(every_run.size(), 2u);
    EXPECT_TRUE(same_rules(every_run, skipping));
    ASSERT_EQ(skipping.size(), 2u);
    expect_box(skipping[0], 100, 400, 347, 349);
    expect_box(skipping[1], 100, 400, 547, 549);
}

TEST(RasterCapture, AStopEndsTheReadingOfAGlyphProcedure)
{
    // 'a' holds 100,000 operators that cannot paint, then a rule. Asked to stop while it is
    // read, the glyph is not run (a stopped page is not written); the reading is not kept:
    // without a stop the glyph runs.
    pdf_writer w;
    std::string proc = "0 0 d0";
    for (int i = 0; i < 100000; ++i)
        proc += " 1 w";
    const int font = w.add_type3_font({w.add_stream("", proc + " 0 0 300 2 re f")});
    const int p = w.add_page(std::string(px_space) + "BT /T 1 Tf 100.5 1500.5 Td (aa) Tj ET\n");
    w.page_at(p).extra_fonts["T"] = font;
    ensure_core();
    scratch_dir dir;
    ASSERT_TRUE(w.save(dir.file("page.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("page.pdf")));

    proc_t lines(1);
    counting_dev dev;
    dev.startDoc(&doc);
    int asked = 0;
    // a stop is requested after the first look, so while the procedure is read
    dev.glyph_procedures().set_abort_check([](void* n) { return ++*static_cast<int*>(n) > 1; }, &asked);
    doc.displayPage(&dev, 1, 150, 150, 0, false, true, false);
    EXPECT_GT(asked, 2);
    EXPECT_EQ(dev.ends, 0);
    EXPECT_TRUE(lines.lines.empty());

    dev.glyph_procedures().set_abort_check(nullptr, nullptr);
    doc.displayPage(&dev, 1, 150, 150, 0, false, true, false);
    EXPECT_EQ(dev.ends, 2);
    EXPECT_EQ(lines.lines.size(), 2u);
}

namespace {

// Pieces of random glyph procedures: operators that paint and operators that cannot, text
// in the fonts of random_type3_page, malformed operands, unknown operators, unbalanced
// q/Q, array and dictionary delimiters out of place.
const std::vector<std::string>& procedure_pieces()
{
    static const std::vector<std::string> pieces = {
        // cannot paint
        "q", "Q", "Q Q Q", "2 0 0 2 10 10 cm", "1 2 cm", "0.5 0 0 0.5 0 0 cm", "3 w", "0 w", "(x) w", "1 J", "2 j",
        "5 M", "[4 2] 1 d", "[] 0 d", "/a 0 d", "/Perceptual ri", "1 i", "0 1 0 rg", "1 0 0 RG", "0.5 g", "0 G",
        "0 0 0 1 k", "/DeviceRGB cs 0 0 1 sc", "/Pattern cs /Pt scn", "/Pattern CS /Pt SCN", "/Nope cs 1 sc",
        "0 0 m 300 0 l", "0 0 300 2 re", "0 0 m 0 300 l", "10 10 m 20 20 30 30 40 40 c 50 0 v 60 0 70 0 y", "h",
        "/a /b /c re", "W n", "W* n", "n", "W", "BT", "ET", "/P 1 Tf", "/H 1 1 Tf", "/Z 1 Tf", "/D 1 Tf",
        "/Missing 1 Tf", "/N 1 Tf", "/U 1 Tf", "/T 1 Tf", "1 Tf", "5 Tr", "7 Tr", "3 Tr", "1 0 0 1 50 50 Tm",
        "10 0 Td", "0 -20 TD", "T*", "2 Tc 3 Tw 90 Tz 12 TL 1 Ts", "/Span BMC", "/OC /oc1 BDC", "/Span << >> BDC",
        "EMC", "/Tag MP", "/Tag << /A 1 >> DP", "BX", "EX", "0 0 d0", "0 0 0 0 300 300 d1", "[ 1 2", "]",
        "<< /A", ">>", "1 2 3 4 5 6 7 8 9", "true false null", "<414243>", "% a comment\n",
        // may paint
        "S", "s", "f", "F", "f*", "B", "B*", "b", "b*", "0 0 300 2 re f", "0 w 0 0 m 300 0 l S", "(a) Tj",
        "(b) Tj", "(m) Tj", "[(a) 10 (b)] TJ", "(c) '", "1 2 (d) \"", "/Fm Do", "/Sh sh", "/G gs",
        "BI /W 1 /H 1 /BPC 1 /IM true ID \x80 EI", "zork", "{ }", ")", "(unterminated"};
    return pieces;
}

// The core's messages are dropped while it lives.
struct quiet_core {
    quiet_core() { setErrorCallback([](ErrorCategory, Goffset, const char*) {}); }
    ~quiet_core() { setErrorCallback(nullptr); }
    quiet_core(const quiet_core&) = delete;
    quiet_core& operator=(const quiet_core&) = delete;
};

std::string random_procedure(std::mt19937& rng)
{
    const auto& pieces = procedure_pieces();
    std::string proc = rng() % 4 != 0 ? "0 0 d0" : "";
    const size_t count = 1 + rng() % 6;
    for (size_t i = 0; i < count; ++i)
        proc += "\n" + pieces[rng() % pieces.size()];
    return proc;
}

std::string pick(std::mt19937& rng, const std::vector<std::string>& choices)
{
    return choices[rng() % choices.size()];
}

// A page of Type 3 text: font /T (glyphs 'a' to 'f' of random procedures, 'm' without
// one) shown in random ways; the fonts its procedures may name: /P paints ('a' a bar,
// 'b' a hairline, 'c' a random procedure), /N paints nothing but may show text ('a'
// metrics only, 'b' random), /U is /T's twin, /H is Helvetica, /D is named twice, /Z
// does not load, /X (the page's) paints; given directly or indirectly, in /T's resources
// or a procedure's own. Forms, patterns, shadings, ExtGStates and marked content are
// there to be named.
pdf_writer random_type3_page(std::mt19937& rng)
{
    pdf_writer w;
    const auto ref = [](int n) { return std::to_string(n) + " 0 R"; };
    const auto type3 = [&](const std::vector<std::pair<char, int>>& procs, const std::string& resources) {
        std::string entries;
        for (const auto& p : procs)
            entries += std::string("/") + p.first + " " + ref(p.second) + " ";
        return w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 0 0] /FontMatrix [1 0 0 1 0 0] "
                            "/CharProcs << " + entries + ">> /Encoding << /Type /Encoding /Differences [97 /a /b "
                            "/c /d /e /f] >> /FirstChar 97 /LastChar 102 /Widths [10 10 10 10 10 10]" + resources +
                            " >>");
    };
    const int bar = w.add_stream("", "0 0 d0 0 0 300 2 re f");
    const int hair = w.add_stream("", "0 0 d0 0 w 0 0 m 0 200 l S");
    const int painting = type3({{'a', bar}, {'b', hair}, {'c', w.add_stream("", random_procedure(rng))}}, "");
    const int quiet = type3({{'a', w.add_stream("", "0 0 d0")}, {'b', w.add_stream("", random_procedure(rng))}}, "");
    const std::string helvetica = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    const std::string twice = rng() % 2 ? "/D " + ref(painting) + " /D " + helvetica
                                        : "/D " + helvetica + " /D " + ref(painting);
    const std::string broken = pick(rng, {"/Z (no font)", "/Z << /Type /Font /Subtype /Type0 >>", "/Z 5"});
    const std::string fonts = "/P " + ref(painting) + " /N " + ref(quiet) + " /H " + helvetica + " " + twice + " " +
                              broken;
    const int fonts_obj = w.add_object("<< " + fonts + " >>");
    const int form = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 1000 1000] /Resources << >>",
                                  "0 0 300 2 re f");
    const int pattern = w.add_stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 400 20] /XStep 400 "
                                     "/YStep 400 /Resources << >>",
                                     "0 0 300 2 re f");
    const std::string others = "/XObject << /Fm " + ref(form) + " >> /Pattern << /Pt " + ref(pattern) +
                               " >> /Shading << /Sh << /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 100 0] "
                               "/Function << /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >> >> "
                               "/ExtGState << /G << /LW 3 >> >> /Properties << /oc1 << /Type /OCG /Name (x) >> >>";

    // /T: each procedure random, with resources of its own now and then
    std::vector<std::pair<char, int>> procs;
    for (char c = 'a'; c <= 'f'; ++c) {
        std::string own;
        switch (rng() % 4) {
        case 0:
            own = "/Resources << /Font " + ref(fonts_obj) + " >>";
            break;
        case 1:
            own = "/Resources << /Font << " + twice + " /P " + helvetica + " >> >>";
            break;
        default:
            break;
        }
        procs.push_back({c, w.add_stream(own, random_procedure(rng))});
    }
    const std::string font_entry = rng() % 2 ? "/Font " + ref(fonts_obj) : "/Font << " + fonts + " >>";
    const std::string t_resources = rng() % 4 == 0 ? "" : " /Resources << " + font_entry + " " + others + " >>";
    const int t = type3(procs, t_resources);
    const int u = type3(procs, "");

    std::string content = px_space;
    content += pick(rng, {"", "0 0 1 rg ", "/Pattern cs /Pt scn ", "10 w ", "q 0 0 600 1650 re W n "});
    for (int i = 0; i < 4; ++i) {
        const int y = 1500 - 300 * i;
        // a path left pending before the text: a procedure may paint or clip it
        content += pick(rng, {"", "100 " + std::to_string(y - 50) + " m 500 " + std::to_string(y - 50) + " l "});
        content += "BT /" + pick(rng, {"T", "U"}) + " 1 Tf 100.5 " + std::to_string(y) + ".5 Td " +
                   pick(rng, {"", "7 Tr ", "3 Tr ", "2 Tr "});
        std::string glyphs;
        for (size_t n = 1 + rng() % 4; n > 0; --n)
            glyphs += "abcdefm"[rng() % 7];
        content += pick(rng, {"(" + glyphs + ") Tj", "[(" + glyphs + ") -20 (a)] TJ", "(" + glyphs + ") '",
                              "1 2 (" + glyphs + ") \""}) +
                   " ET n\n";
        // a rule after the text: a clip or hidden content the glyphs leave behind loses it
        content += "100.5 " + std::to_string(y - 100) + ".5 300 2 re f\n";
    }
    const int p = w.add_page(content);
    w.page_at(p).extra_fonts["T"] = t;
    w.page_at(p).extra_fonts["U"] = u;
    w.page_at(p).extra_fonts["X"] = painting;
    w.page_at(p).extra_resources = others;
    return w;
}

} // namespace

TEST(RasterCapture, SkippingGlyphProceduresThatCannotPaintCapturesWhatRunningThemDoes)
{
    // Random glyph procedures: the rules captured with those that cannot paint skipped are
    // those captured with every procedure run. (TYPE3_RANDOM_PAGES asks for more pages.)
    ensure_core();
    int pages = 300;
    if (const char* more = std::getenv("TYPE3_RANDOM_PAGES"))
        pages = std::max(1, std::atoi(more));
    std::mt19937 rng(20);
    scratch_dir dir;
    const quiet_core quiet;
    int skipped = 0, with_rules = 0;
    for (int n = 0; n < pages; ++n) {
        const pdf_writer w = random_type3_page(rng);
        const std::string path = dir.file("page" + std::to_string(n % 10) + ".pdf");
        ASSERT_TRUE(w.save(path));
        PDFDoc doc(std::make_unique<GooString>(path));
        int runs_all = 0, runs_skipping = 0;
        const auto every_run = capture_doc(doc, false, &runs_all);
        const auto skipping = capture_doc(doc, true, &runs_skipping);
        ASSERT_TRUE(same_rules(every_run, skipping)) << "page " << n << ":\n" << w.build();
        skipped += runs_skipping < runs_all;
        with_rules += !every_run.empty();
    }
    // the pages skip glyphs, and capture rules, often enough to mean something
    EXPECT_GT(skipped, pages / 3);
    EXPECT_GT(with_rules, pages / 2);
    std::printf("random pages: %d, with glyphs skipped: %d, with rules: %d\n", pages, skipped, with_rules);
}

namespace {

// Records, for each wide stroke, its clip result and the clip after it, and the clip after
// each clip to a stroke.
class stroke_log_dev : public raster_dev {
public:
    void stroke(GfxState* state) override
    {
        raster_dev::stroke(state);
        if (state->getLineWidth() != 0) {
            results.push_back(last_clip_result());
            note_clip();
        }
    }
    void clipToStrokePath(GfxState* state) override
    {
        raster_dev::clipToStrokePath(state);
        note_clip();
    }
    void note_clip()
    {
        const clip_box& c = current_clip();
        clips.push_back({c.xMin, c.yMin, c.xMax, c.yMax, c.paths ? 1.0 : 0.0});
    }
    std::vector<int> results;
    std::vector<std::vector<double>> clips;
};

// A page of random wide strokes in px: segments, polylines, small and huge curves, closed
// subpaths, undashed, dashed below and beyond the cap on dash pieces and by patterns without
// length (with points beyond a double now and then), every cap and join, under rectangle and
// other clips and rotated or skewed matrices, partly on and partly off the page; some
// stroked with a shading, so the device clips to them.
pdf_writer random_stroke_page(std::mt19937& rng)
{
    std::uniform_real_distribution<double> unit(0, 1);
    const auto num = [](double v) {
        std::ostringstream s;
        s.precision(10);
        s << v;
        return s.str();
    };
    const auto pt = [&](double x, double y) { return num(x) + " " + num(y) + " "; };
    const auto coord = [&]() { return unit(rng) < 0.5 ? std::floor(-300 + 1900 * unit(rng)) + 0.5 : -300 + 1900 * unit(rng); };
    std::string c = px_space;
    for (int op = 0; op < 16; ++op) {
        c += "q\n";
        const double kind = unit(rng);
        if (kind < 0.2)
            c += rect(coord(), coord(), 50 + 900 * unit(rng), 50 + 900 * unit(rng)) + "W n\n";
        else if (kind < 0.3)
            c += move_to(coord(), coord()) + line_to(coord(), coord()) + line_to(coord(), coord()) + "h W n\n";
        if (unit(rng) < 0.3) {
            const double a = 2 * M_PI * unit(rng), k = unit(rng) < 0.5 ? 0 : unit(rng) - 0.5;
            c += num(std::cos(a)) + " " + num(std::sin(a)) + " " + num(k - std::sin(a)) + " " + num(std::cos(a)) +
                 " " + pt(600, 800) + "cm 1 0 0 1 " + pt(-600, -800) + "cm\n";
        }
        const bool rule = unit(rng) < 0.3;
        c += num(rule ? 1 + 2 * unit(rng) : 0.2 + 8 * unit(rng)) + " w " + std::to_string(rng() % 3) + " J " +
             std::to_string(rng() % 3) + " j " + num(1 + 9 * unit(rng)) + " M\n";
        const double dash = unit(rng);
        if (dash < 0.25)
            c += "[" + num(0.5 + 20 * unit(rng)) + " " + num(20 * unit(rng)) + "] " + num(30 * unit(rng)) + " d\n";
        else if (dash < 0.45)
            c += "[" + num(0.001 + 0.003 * unit(rng)) + (unit(rng) < 0.5 ? "" : " 0.002") + "] " +
                 num(unit(rng) < 0.2 ? (unit(rng) < 0.5 ? -1 : 1) * std::ldexp(0.004, 30 + static_cast<int>(rng() % 4))
                                      : 0.01 * unit(rng)) +
                 " d\n";
        // lengths that add up to nothing once negative ones and names count as 0 (now and
        // then one more that negative ones cancel out), with any phase: one of 400 digits is
        // read as infinite
        const bool nothing = dash >= 0.45 && dash < 0.6;
        if (nothing) {
            const std::string beyond = "1" + std::string(400, '0');
            const std::vector<std::string> entries{"0", "0.0", "-0", "-2", "-0.001", "/a"};
            const std::vector<std::string> phases{"0", num(30 * unit(rng)), "-7", num(1e12 * unit(rng)), beyond,
                                                  "-" + beyond};
            c += "[";
            for (size_t k = 1 + rng() % 6; k > 0; --k)
                c += entries[rng() % entries.size()] + " ";
            c += std::string(unit(rng) < 0.15 ? "2 " : "") + "] " + phases[rng() % phases.size()] + " d\n";
        }
        if (unit(rng) < 0.15)
            c += "/Pattern CS /Sh SCN\n";
        if (rule) {
            // a rule as a segment, a polyline or curves along it (a little off the line),
            // maybe closed there and back, maybe off an edge
            const double x = 1200 * unit(rng), y = 1600 * unit(rng), len = 20 + 600 * unit(rng);
            const bool across = unit(rng) < 0.5;
            const int parts = 1 + static_cast<int>(rng() % 4);
            const auto at = [&](double t, double off) {
                return across ? pt(x + len * t, page_h - (y + off)) : pt(x + off, page_h - (y + len * t));
            };
            const auto off = [&]() { return unit(rng) < 0.5 ? 0.0 : 0.6 * unit(rng) - 0.3; };
            c += at(0, 0) + "m\n";
            for (int k = 1; k <= parts; ++k) {
                const double t0 = static_cast<double>(k - 1) / parts, t1 = static_cast<double>(k) / parts;
                if (unit(rng) < 0.5)
                    c += at(t0 + (t1 - t0) / 3, off()) + at(t0 + 2 * (t1 - t0) / 3, off()) + at(t1, off()) + "c\n";
                else
                    c += at(t1, off()) + "l\n";
            }
            c += unit(rng) < 0.2 ? "h S\nQ\n" : "S\nQ\n";
            continue;
        }
        const int subpaths = 1 + static_cast<int>(rng() % 3);
        for (int sp = 0; sp < subpaths; ++sp) {
            double x = coord(), y = coord();
            c += move_to(x, y);
            const int parts = 1 + static_cast<int>(rng() % 6);
            for (int k = 0; k < parts; ++k) {
                const double huge = unit(rng) < 0.3 ? 1e5 : 200;
                const auto near = [&](double v) { return v + huge * (2 * unit(rng) - 1); };
                if (unit(rng) < 0.5) {
                    x = near(x);
                    y = near(y);
                    c += line_to(x, y);
                } else {
                    const double back = unit(rng) < 0.3;
                    const double x3 = back ? x : near(x), y3 = back ? y : near(y);
                    c += pt(near(x), page_h - near(y)) + pt(near(x3), page_h - near(y3)) + pt(x3, page_h - y3) + "c\n";
                    x = x3;
                    y = y3;
                }
            }
            if (unit(rng) < 0.3)
                c += "h\n";
            if (nothing && unit(rng) < 0.2) {
                // points beyond a double: a segment of no length as a number
                const std::string beyond = "1" + std::string(400, '0');
                c += beyond + " " + beyond + " l " + beyond + " " + beyond + " l\n";
            }
        }
        c += "S\nQ\n";
    }
    pdf_writer w;
    const int p = w.add_page(c);
    w.page_at(p).extra_resources = "/Pattern << /Sh << /PatternType 2 /Shading << /ShadingType 2 /ColorSpace "
                                   "/DeviceGray /Coords [0 0 1000 0] /Function << /FunctionType 2 /Domain [0 1] "
                                   "/C0 [0] /C1 [1] /N 1 >> >> >> >>";
    return w;
}

} // namespace

TEST(RasterCapture, PassingOverPartsOutsideTheClipChangesNothing)
{
    // Random wide strokes, each worked out with the parts outside the clip passed over (and
    // by a pattern without length without its outline) and outlined whole by the stroker:
    // the rules captured, every stroke's clip result and every clip are the same. With a
    // budget of a few segments most strokes are decided without their outline, or outlined
    // three segments at a time: the rules and the clips are still the same.
    // (STROKE_RANDOM_PAGES asks for more pages.)
    ensure_core();
    int pages = 30;
    if (const char* more = std::getenv("STROKE_RANDOM_PAGES"))
        pages = std::max(1, std::atoi(more));
    std::mt19937 rng(26);
    scratch_dir dir;
    const quiet_core quiet;
    size_t strokes = 0, rules = 0, inside = 0, outside = 0, partial = 0, clip_paths = 0;
    for (int n = 0; n < pages; ++n) {
        const pdf_writer w = random_stroke_page(rng);
        const std::string path = dir.file("page.pdf");
        ASSERT_TRUE(w.save(path));
        PDFDoc doc(std::make_unique<GooString>(path));
        ASSERT_TRUE(doc.isOk());
        const auto run = [&](bool pruning, size_t budget, std::vector<proc_t::line_rect>& lines) {
            proc_t proc(1);
            auto dev = std::make_unique<stroke_log_dev>();
            dev->set_pruning(pruning);
            if (budget > 0)
                dev->set_outline_budget(budget, 3);
            dev->startDoc(&doc);
            doc.displayPage(dev.get(), 1, 150, 150, 0, false, true, false);
            lines = proc.lines;
            return dev;
        };
        std::vector<proc_t::line_rect> whole, pruned, budgeted;
        const auto a = run(false, 0, whole);
        const auto b = run(true, 0, pruned);
        const auto c = run(true, 16, budgeted);
        const auto same = [](const std::vector<proc_t::line_rect>& x, const std::vector<proc_t::line_rect>& y) {
            return x.size() == y.size() &&
                   std::equal(x.begin(), x.end(), y.begin(), [](const proc_t::line_rect& l, const proc_t::line_rect& r) {
                       return l.xMin == r.xMin && l.xMax == r.xMax && l.yMin == r.yMin && l.yMax == r.yMax;
                   });
        };
        ASSERT_TRUE(same(whole, pruned)) << "page " << n << ":\n" << w.build();
        ASSERT_TRUE(same(whole, budgeted)) << "page " << n << ":\n" << w.build();
        ASSERT_EQ(a->results, b->results) << "page " << n << ":\n" << w.build();
        ASSERT_EQ(a->clips, b->clips) << "page " << n << ":\n" << w.build();
        ASSERT_EQ(a->clips, c->clips) << "page " << n << ":\n" << w.build();
        strokes += a->results.size();
        rules += whole.size();
        for (int r : a->results) {
            inside += r == splashClipAllInside;
            outside += r == splashClipAllOutside;
            partial += r == splashClipPartial;
        }
        for (const auto& k : a->clips)
            clip_paths += k[4] != 0;
    }
    // every outcome is met often enough to mean something
    EXPECT_GT(rules, static_cast<size_t>(pages));
    EXPECT_GT(inside, static_cast<size_t>(pages));
    EXPECT_GT(outside, static_cast<size_t>(pages));
    EXPECT_GT(partial, static_cast<size_t>(pages) * 3);
    std::printf("random strokes: %zu on %d pages; rules %zu; inside %zu, outside %zu, partial %zu; clips with "
                "paths %zu\n",
                strokes, pages, rules, inside, outside, partial, clip_paths);
}

TEST(RasterCapture, Type3GlyphsThatStrokeByAPatternWithoutLengthPaintNothingOfIt)
{
    // 'a' paints a dot and strokes a rule and a hairline by a pattern without length (the
    // lengths counted as 0 when negative or names, any phase): it paints nothing that can
    // be captured, so it runs once for its size, whether the stroker works the rule's
    // outline out (pruning off) or not.
    const quiet_core quiet;
    const std::string beyond = "1" + std::string(400, '0'); // read as infinite
    for (const std::string& dash : {std::string("[0 -1] 3"), "[0] " + beyond, "[-1 -0 /a] -" + beyond}) {
        pdf_writer w;
        const int a =
            w.add_stream("", "1000 0 d0 0 0 60 60 re f " + dash + " d 50 w 0 0 m 1000 0 l S 0 w 0 0 m 0 1000 l S");
        const int font =
            w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                         "/CharProcs << /a " + std::to_string(a) + " 0 R >> /Encoding << /Type /Encoding /Differences "
                         "[97 /a] >> /FirstChar 97 /LastChar 97 /Widths [1000] >>");
        std::string text = std::string(px_space) + "BT /T3 20 Tf";
        for (int row = 0; row < 10; ++row)
            text += " 1 0 0 1 100.3 " + std::to_string(1500.7 - 40 * row) + " Tm (aaaaa) Tj";
        const int p = w.add_page(text + " ET\n");
        w.page_at(p).extra_fonts["T3"] = font;
        for (const bool pruning : {true, false}) {
            proc_t proc(1);
            counting_dev dev;
            dev.set_pruning(pruning);
            display_first_page(w, dev);
            EXPECT_EQ(dev.fills, 1) << dash;
            EXPECT_EQ(dev.strokes, 2) << dash;
            EXPECT_TRUE(proc.lines.empty()) << dash;
        }
    }
}

TEST(RasterCapture, AStopEndsTheOutlineOfAWideStroke)
{
    // A rule of 100 curves there and back along it, beyond a budget of 16 segments:
    // outlined three segments at a time. Asked to stop while it is worked out, it captures nothing (a
    // stopped page is not written); without a stop it is the rule.
    std::string rule = "1 w 100 700 m\n";
    for (int i = 0; i < 100; ++i)
        rule += i % 2 == 0 ? "200 700.2 400 699.8 500 700 c\n" : "400 700.2 200 699.8 100 700 c\n";
    pdf_writer w;
    w.add_page(rule + "S\n");
    ensure_core();
    scratch_dir dir;
    ASSERT_TRUE(w.save(dir.file("page.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("page.pdf")));
    for (const bool stop : {true, false}) {
        proc_t lines(1);
        raster_dev dev;
        dev.set_outline_budget(16, 3);
        dev.startDoc(&doc);
        int asked = 0;
        if (stop)
            dev.glyph_procedures().set_abort_check([](void* n) { return ++*static_cast<int*>(n) > 1; }, &asked);
        doc.displayPage(&dev, 1, 150, 150, 0, false, true, false);
        EXPECT_EQ(lines.lines.size(), stop ? 0u : 1u);
        if (stop)
            EXPECT_GT(asked, 1);
    }
}

TEST(RasterCapture, FormsAreDrawnTilingCellsAndSoftMasksAreNot)
{
    pdf_writer w;
    const int pattern = w.add_stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 400 20] /XStep 400 "
                                     "/YStep 400 /Resources << >>",
                                     "0 0 0 rg 0 0 300 1 re f");
    const int tiled = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 1275 1650] /Resources << /Pattern << "
                                   "/P1 " + std::to_string(pattern) + " 0 R >> >>",
                                   "/Pattern cs /P1 scn 0 0 1275 1650 re f");
    const int mask = w.add_stream("/Type /XObject /Subtype /Form /Group << /S /Transparency /CS /DeviceRGB >> "
                                  "/BBox [0 0 1275 1650] /Resources << >>",
                                  "1 1 1 rg 100.5 800.5 300 2 re f");
    const int masked = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 1275 1650] /Resources << /ExtGState "
                                    "<< /G1 << /SMask << /S /Luminosity /G " + std::to_string(mask) +
                                        " 0 R >> >> >> >>",
                                    "/G1 gs 0 0 0 rg 100.5 1200.5 300 2 re f");
    const int p = w.add_page(std::string(px_space) + "/Fa Do /Fb Do\n");
    w.page_at(p).xobjects["Fa"] = tiled;
    w.page_at(p).xobjects["Fb"] = masked;
    const auto lines = capture(w);
    ASSERT_EQ(lines.size(), 1u); // the box drawn under the mask only
    expect_box(lines[0], 100, 400, 447, 449);
}

TEST(RasterCapture, InlineImageDataIsConsumed)
{
    // the operators after the inline image still run
    const std::string image = "q 100 0 0 4 10 10 cm BI /W 4 /H 4 /CS /G /BPC 8 ID\n"
                              "0123456789ABCDEF\nEI Q\n";
    const auto lines = capture(image + rect(10.5, 100.5, 300, 2) + "f\n");
    ASSERT_EQ(lines.size(), 1u);
}

TEST(RasterCapture, FillWithoutAProcessorIsAnInternalError)
{
    ensure_core();
    const PDFRectangle box(0, 0, 612, 792);
    GfxState state(150, 150, &box, 0, true);
    state.moveTo(10, 10);
    state.lineTo(100, 10);
    state.lineTo(100, 11);
    raster_dev dev;
    EXPECT_THROW(dev.fill(&state), tk_mail_assertion);
    EXPECT_THROW(dev.stroke(&state), tk_mail_assertion);
    // even-odd fills only capture when a processor is there, and never assert
    EXPECT_NO_THROW(dev.eoFill(&state));
}

TEST(RasterCapture, SingleSubpathFlagIsKeptByTheHooks)
{
    ensure_core();
    const PDFRectangle box(0, 0, 612, 792);
    GfxState state(150, 150, &box, 0, true);
    proc_t proc(0);
    raster_dev dev;
    dev.startPage(1, &state, nullptr);
    // a big single-subpath fill sets the flag and captures nothing, so the flag stays
    state.moveTo(10, 10);
    state.lineTo(300, 10);
    state.lineTo(300, 300);
    state.closePath();
    dev.fill(&state);
    EXPECT_EQ(proc.single_subpath, 1);
    EXPECT_TRUE(proc.lines.empty());
    // a thin even-odd fill after it is captured in mode 0 through the kept flag, which is then cleared
    state.clearPath();
    state.moveTo(10, 10);
    state.lineTo(300, 10);
    state.lineTo(300, 11);
    state.closePath();
    dev.eoFill(&state);
    EXPECT_EQ(proc.lines.size(), 1u);
    EXPECT_EQ(proc.single_subpath, 0);
}

TEST(RasterCapture, CurvedEndsAreFlattened)
{
    // a bar with a rounded right end: the curve reaches x 311.25
    const auto lines = capture(move_to(10.5, 100.5) + line_to(310.5, 100.5) +
                               "311.5 1549.5 311.5 1547.5 310.5 1547.5 c\n" + line_to(10.5, 102.5) + "h f\n");
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 311, 100, 102);
}

TEST(RasterCapture, NonMarkingColourCapturesNothing)
{
    pdf_writer w;
    const int form = w.add_stream(
        "/Type /XObject /Subtype /Form /BBox [0 0 1275 1650] /Resources << /ColorSpace << /CS0 [/Separation /None "
        "/DeviceGray << /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 1 >>] >> >>",
        "/CS0 cs 1 scn " + rect(10.5, 100.5, 300, 2) + "f /CS0 CS 1 SCN 0 w " + move_to(10.5, 200.5) +
            line_to(310.5, 200.5) + "S 2 w " + move_to(10.5, 300.5) + line_to(310.5, 300.5) + "S\n" +
            "0 g " + rect(10.5, 400.5, 300, 2) + "f\n");
    const int p = w.add_page(std::string(px_space) + "/Fm Do\n");
    w.page_at(p).xobjects["Fm"] = form;
    const auto lines = capture(w);
    ASSERT_EQ(lines.size(), 1u); // only the box painted in grey
    expect_box(lines[0], 10, 310, 400, 402);
}

TEST(RasterCapture, TraceLinesOfFillAndStroke)
{
    scratch_dir dir;
    const std::string log_path = dir.file("trace.log");
    {
        tk_logger log(log_path.c_str(), true, 1, false);
        capture(rect(10.5, 100.5, 300, 2) + "f 0 w " + move_to(10.5, 200.5) + line_to(310.5, 200.5) + "S\n" +
                rect(10.5, 300.5, 300, 2) + "f*\n");
    }
    const std::string log = read_file(log_path);
    EXPECT_NE(log.find("SplashOutputDev::fill\r\npdf_uline_processor::set_line(10.000000,310.000000,100.000000,"
                       "102.000000)\r\nSplashOutputDev::stroke\r\npdf_uline_processor::set_line(10.000000,310.000000,"
                       "200.000000,200.000000)\r\n"),
              std::string::npos);
    // even-odd fills trace nothing of their own
    EXPECT_EQ(log.find("SplashOutputDev::eoFill"), std::string::npos);
    EXPECT_NE(log.find("set_line(10.000000,310.000000,300.000000,302.000000)"), std::string::npos);
}

TEST(RasterCapture, ModeZeroWideStrokes)
{
    // a two-point stroke sets the flag: its thin outline is taken, however short
    auto lines = capture("2 w " + move_to(10.5, 100.5) + line_to(15.5, 100.5) + "S\n", 0);
    ASSERT_EQ(lines.size(), 1u);
    expect_box(lines[0], 10, 15, 99, 101);
    // a polyline does not set it
    EXPECT_TRUE(capture("2 w " + move_to(10.5, 100.5) + line_to(150.5, 100.5) + line_to(300.5, 100.5) + "S\n", 0)
                    .empty());
}

TEST(RasterCapture, ClipTestOfPixelBoxes)
{
    raster_dev::clip_box c;
    c.xMin = 10;
    c.yMin = 20;
    c.xMax = 110.5;
    c.yMax = 220;
    // a box of whole pixels covers [xMin, xMax + 1)
    EXPECT_EQ(raster_dev::test_rect(c, 10, 20, 109, 219), splashClipAllInside);
    EXPECT_EQ(raster_dev::test_rect(c, 10, 20, 110, 219), splashClipPartial);
    EXPECT_EQ(raster_dev::test_rect(c, 9, 20, 100, 219), splashClipPartial);
    EXPECT_EQ(raster_dev::test_rect(c, 0, 20, 9, 219), splashClipAllOutside);
    EXPECT_EQ(raster_dev::test_rect(c, 111, 20, 200, 219), splashClipAllOutside);
    EXPECT_EQ(raster_dev::test_rect(c, 110, 20, 200, 219), splashClipPartial);
    EXPECT_EQ(raster_dev::test_rect(c, 20, 220, 30, 230), splashClipAllOutside);
    EXPECT_EQ(raster_dev::test_span(c, 20, 30, 219), splashClipAllInside);
    EXPECT_EQ(raster_dev::test_span(c, 20, 30, 19), splashClipAllOutside);
    c.paths = true; // a clip path: never all inside
    EXPECT_EQ(raster_dev::test_rect(c, 10, 20, 109, 219), splashClipPartial);
    EXPECT_EQ(raster_dev::test_rect(c, 0, 20, 9, 219), splashClipAllOutside);
}
