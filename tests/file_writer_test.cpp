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

TEST(FileWriter, TruncatesAppendsScrubsTheUserNameAndFailsWithoutAFolder) {
    TempFolder folder;
    const std::string path = folder.Path("trace.txt");
    // Writes `line` into a fresh file (or appends); returns the count written and checks the caller's text stayed.
    auto write = [&](const std::string& line, bool append = false) {
        FileWriter writer(path.c_str(), append);
        EXPECT_TRUE(writer.Open());
        std::string text = line;
        const uint64_t written = writer.Write(text.data(), append ? static_cast<uint64_t>(int64_t{-1}) : text.size());
        EXPECT_EQ(text, line);
        return written;
    };
    ScopedEnvironment user(platform::UserNameVariable(), "jdoe");
    write("one\n");
    EXPECT_EQ(write(std::string("jdoe\0 never past the terminator", 32), true), 4u + 4u);  // a negative length reads to the terminator
    EXPECT_EQ(ReadFile(path), "one\nusername");
    EXPECT_EQ(write("jdoe as jdoe, not JDoe\n"), 23u + 2 * 4u);
    EXPECT_EQ(ReadFile(path), "username as username, not JDoe\n");
    {
        // A name inside the replacement word is replaced once per occurrence, then the scrub ends.
        ScopedEnvironment inside(platform::UserNameVariable(), "name");
        write("name: username\n");
        EXPECT_EQ(ReadFile(path), "username: userusername\n");
    }
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnvironment none(platform::UserNameVariable(), unset);
        write("nothing to hide\n");
        EXPECT_EQ(ReadFile(path), "nothing to hide\n");
    }
    char scratch[16];
    std::memset(scratch, '#', sizeof scratch);
    // "xx " and three letters of "username" fill six bytes; the newline takes the last one.
    EXPECT_EQ(ScrubUserName("xx a b\n", "a", scratch, 6), "xx us\n");
    EXPECT_EQ(std::string(scratch + 6, 10), std::string(10, '#')) << "written past the buffer";

    {
        // A writer thread ended inside a line: the stream's buffer is dropped unwritten, and of that
        // line only what the file lacks is written, straight to the file.
        FileWriter ended(path.c_str(), false);
        ASSERT_TRUE(ended.Open());
        ended.Write("kept\nhalf", 9);
        ended.Flush();
        ended.Write("dropped\n", 8);
        ended.BypassStream();
        for (const uint64_t missing : {6u, 0u}) EXPECT_EQ(ended.WriteMissingPart("half line\n", 10), missing);
        ended.Write("next\n", 5);
    }
    EXPECT_EQ(ReadFile(path), "kept\nhalf line\nnext\n");

    FileWriter missing(folder.Path("no-such-level/trace.txt").c_str(), false);
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(missing.Write("lost\n", 5), 0u);
    EXPECT_EQ(missing.Flush(), EOF);
}

// A full disk: every flush fails, yet the writer goes on draining and delivering to clients.
TEST(FileWriter, FullDiskNeitherStopsTheWriterNorBlocksProducers) {
    if (!platform::PathExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    auto full = std::make_shared<FileWriter>("/dev/full", false);
    ASSERT_TRUE(full->Open());
    full->Write("buffered\n", 9);
    EXPECT_EQ(full->Flush(), EOF);
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    config->file.SetWriter(full);
    LineCollector client;
    config->client.AddClient(&client);
    auto* queue = new RecordQueue;
    ASSERT_TRUE(StartQueueWriter(*queue, 4096, *config));
    config->SetQueue(queue);
    for (uint32_t i = 0; i < 3000; ++i) {
        TraceRecord* record = ReserveRecord(*config);
        ASSERT_NE(record, nullptr);
        std::snprintf(record->text, sizeof record->text, "line %u", i);
        CommitRecord(record, Acceptance{false, true, true}, 1, 2, 0, 0, true, *config);
    }
    ASSERT_TRUE(client.WaitFor(3000));
    EXPECT_EQ(client.Lines().back(), "line 2999\n");
}
