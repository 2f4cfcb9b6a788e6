#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "output/file_writer.h"
#include "output/queue_writer.h"
#include "output/user_name_scrub.h"
#include "platform/files.h"
#include "support/environment.h"
#include "support/output_fixture.h"

using namespace vextrel;
using vextrel::testing::LineCollector;
using vextrel::testing::ReadFile;
using vextrel::testing::ScopedEnvironment;
using vextrel::testing::TempFolder;

namespace {

// Writes `line` into a fresh file at `path`; returns the count written. Fails the test when the
// caller's text was changed.
uint64_t WriteThrough(const std::string& path, const std::string& line) {
    FileWriter writer(path.c_str(), false);
    EXPECT_TRUE(writer.Open());
    std::string text = line;
    const uint64_t written = writer.Write(text.data(), text.size());
    EXPECT_EQ(text, line) << "the caller's buffer must stay as it was";
    return written;
}

}  // namespace

TEST(FileWriter, WriteTruncatesAppendAddsAndAMissingFolderFails) {
    TempFolder folder;
    const std::string path = folder.Path("trace.txt");
    WriteThrough(path, "one\n");
    {
        FileWriter appender(path.c_str(), true);
        ASSERT_TRUE(appender.Open());
        const char text[64] = "two\n\0 never past the terminator";
        EXPECT_EQ(appender.Write(text, sizeof text), 4u);
        EXPECT_EQ(appender.Write("negative length\n", static_cast<uint64_t>(int64_t{-1})), 16u);
    }
    EXPECT_EQ(ReadFile(path), "one\ntwo\nnegative length\n");
    WriteThrough(path, "three\n");
    EXPECT_EQ(ReadFile(path), "three\n");

    FileWriter missing(folder.Path("no-such-level/trace.txt").c_str(), false);
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(missing.Write("lost\n", 5), 0u);
    EXPECT_EQ(missing.Flush(), EOF);
}

TEST(FileWriter, EmptyPathWritesToStandardOutputAndLeavesItOpen) {
    ::testing::internal::CaptureStdout();
    {
        FileWriter writer(nullptr, true);
        ASSERT_TRUE(writer.Open());
        writer.Write("to the console\n", 15);
        writer.Flush();
    }
    std::printf("still open\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "to the console\nstill open\n");
}

TEST(FileWriter, ScrubsTheUserNameWithoutTouchingTheCallersLine) {
    TempFolder folder;
    const std::string path = folder.Path("scrub.txt");
    {
        ScopedEnvironment user(platform::UserNameVariable(), "jdoe");
        EXPECT_EQ(WriteThrough(path, "jdoe logged in as jdoe\n"), 23u + 2 * (8 - 4));
        EXPECT_EQ(ReadFile(path), "username logged in as username\n");
        WriteThrough(path, "JDoe and jdoE differ in case\n");
        EXPECT_EQ(ReadFile(path), "JDoe and jdoE differ in case\n");
    }
    {
        // A name inside the replacement word is replaced once per occurrence, then the scrub ends.
        ScopedEnvironment user(platform::UserNameVariable(), "name");
        EXPECT_EQ(WriteThrough(path, "name: username\n"), 15u + 2 * (8 - 4));
        EXPECT_EQ(ReadFile(path), "username: userusername\n");
    }
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnvironment user(platform::UserNameVariable(), unset);
        EXPECT_EQ(WriteThrough(path, "nothing to hide\n"), 16u);
        EXPECT_EQ(ReadFile(path), "nothing to hide\n");
    }
}

TEST(ScrubUserName, CopiesOnlyWhenTheNameOccursAndCutsAtTheBuffer) {
    char scratch[16];
    const std::string_view clean = "no name here\n";
    EXPECT_EQ(ScrubUserName(clean, "jdoe", scratch, sizeof scratch).data(), clean.data());

    // "xx " and three letters of "username" fill six bytes; the newline takes the last one.
    std::memset(scratch, '#', sizeof scratch);
    EXPECT_EQ(ScrubUserName("xx a b\n", "a", scratch, 6), "xx us\n");
    EXPECT_EQ(std::string(scratch + 6, 10), std::string(10, '#')) << "written past the buffer";
}

// A full disk: every flush fails, yet the writer goes on draining and delivering to clients.
TEST(FileWriter, FullDiskNeitherStopsTheWriterNorBlocksProducers) {
    if (!platform::PathExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    auto full = std::make_shared<FileWriter>("/dev/full", false);
    ASSERT_TRUE(full->Open());
    full->Write("buffered\n", 9);
    EXPECT_EQ(full->Flush(), EOF);
    EXPECT_LT(full->Write(std::string(65536, 'x').c_str(), 65536), 65536u);

    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    config->file.SetWriter(full);
    LineCollector client;
    config->client.AddClient(&client);
    auto* queue = new RecordQueue;
    ASSERT_TRUE(StartQueueWriter(*queue, 4096, *config));
    config->SetQueue(queue);
    constexpr uint32_t kRecords = 3000;
    for (uint32_t i = 0; i < kRecords; ++i) {
        TraceRecord* record = ReserveRecord(*config);
        ASSERT_NE(record, nullptr);
        std::snprintf(record->text, sizeof record->text, "line %u", i);
        CommitRecord(record, Acceptance{false, true, true}, 1, 2, 0, 0, true, *config);
    }
    ASSERT_TRUE(client.WaitFor(kRecords));
    EXPECT_EQ(client.Lines().back(), "line 2999\n");
}
