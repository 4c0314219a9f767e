// The conversion job: page loop, counters, failures and stopping a run on a worker.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "TK/tk_error.h"
#include "TK/tk_log.h"
#include "karvel/kvl_conv.h"
#include "pdf_writer.h"
#include "test_support.h"

namespace {

std::string pages_pdf(int count)
{
    pdf_writer w;
    for (int i = 1; i <= count; ++i)
        w.add_page("BT /Helvetica 12 Tf 72 700 Td (Page " + std::to_string(i) + ") Tj ET\n"
                   "0 0 1 rg 72 600 300 2 re f");
    return w.build();
}

class Convertor : public ::testing::Test {
protected:
    void prepare(int page_count)
    {
        write_file(dir.file("doc.pdf"), pages_pdf(page_count));
        conv.src = dir.file("doc.pdf");
        conv.dest = dir.file("doc.xml");
    }
    std::string log_path() const { return dir.file("run.log"); }

    scratch_dir dir;
    tk_logger logger{nullptr, false, 3, false};
    karvel_convertor conv;
    error_handler handler;
};

class convertor_thread : public tk_thread {
public:
    convertor_thread() : tk_thread(false) {}

protected:
    tk_thread_functor* create_functor() override { return &tk_singleton<karvel_convertor>::instance(); }
};

} // namespace

TEST_F(Convertor, ListedPagesInOrderWithOutOfRangeSkipped)
{
    prepare(5);
    conv.set_logfile(log_path());
    conv.set_page_range("3,1,3,9");
    conv.run();
    EXPECT_TRUE(conv.finished);
    EXPECT_EQ(conv.page_count, 4u);
    EXPECT_EQ(conv.page_index, 4u);
    const std::string log = read_file(log_path());
    EXPECT_NE(log.find("Converting page 1 of 4\r\nConverting page 2 of 4\r\nConverting page 3 of 4\r\n"
                       "Page is out of range 9 > 5\r\n"),
              std::string::npos)
        << log;

    // A second run starts where the first ended and converts nothing.
    write_file(log_path(), "");
    conv.run();
    EXPECT_EQ(read_file(log_path()).find("Converting page"), std::string::npos);
}

TEST_F(Convertor, EveryPageWithoutAList)
{
    prepare(3);
    conv.set_logfile(log_path());
    conv.run();
    EXPECT_EQ(conv.page_count, 3u);
    EXPECT_EQ(conv.page_index, 3u);
    EXPECT_NE(read_file(log_path()).find("Converting page 3 of 3\r\n"), std::string::npos);
}

TEST_F(Convertor, MissingSourceOrDestinationIsAnInternalError)
{
    try {
        conv.run();
        FAIL() << "a run without names must be refused";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message, tk_mail_assertion::make_text("kvl_conv.cpp", 138));
    }
    EXPECT_FALSE(conv.finished);
}

TEST_F(Convertor, RunningConversionIsStoppedOnTheWorker)
{
    prepare(400);
    convertor_thread worker;
    worker.start();
    for (int i = 0; i < 5000 && conv.page_index == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    worker.stop();
    EXPECT_FALSE(worker.is_alive());
    EXPECT_TRUE(conv.finished) << "the run ended through its normal path";
    EXPECT_EQ(conv.page_count, 400u);
    EXPECT_LT(conv.page_index, 400u);
    EXPECT_FALSE(file_exists(conv.dest)) << "the unfinished document is removed";
}
