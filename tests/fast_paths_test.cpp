#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/manager.h"
#include "core/trace_config.h"
#include "include/vextrel.h"
#include "output/file_writer.h"
#include "support/core_fixture.h"
#include "support/output_fixture.h"

using namespace vextrel;
using vextrel::testing::PublishedManager;
using vextrel::testing::ReadFile;
using vextrel::testing::TakeRecords;
using vextrel::testing::TempFolder;

using Texts = std::vector<std::string>;

TEST(GlobalSummary, LoweredBeforeAnyTracerAndRaisedOnlyByARebuild) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(70, VXP_HIGH);
    VextrelPuts(VXF_WORD(70, VXP_NORMAL), "dropped");
    VextrelFormat(VXF_WORD(70, VXP_HIGH), "kept %d", 1);
    EXPECT_EQ(TakeRecords(*config->Queue()), (Texts{"kept 1"}));

    // A configuration that joins the list lowers the summary at once, before any rebuild, so a
    // merge into a running configuration cannot take a tracer below it.
    TraceConfig* joined = TraceConfig::Create();
    joined->console.SetFacilityPriority(71, VXP_LOW);
    AddConfig(manager.get(), joined);
    EXPECT_TRUE(manager->MayWant(71, VXP_LOW));
    // A tracer lowered before the list is published: publishing lowers the summary.
    joined->client.SetFacilityPriority(72, VXP_LOWEST);
    manager->PublishConfigs();
    EXPECT_TRUE(manager->MayWant(72, VXP_LOWEST));
    EXPECT_FALSE(manager->MayWant(73, VXP_URGENT));

    // A priority change lowers the summary with the tracer; raising it back takes the rebuild.
    EXPECT_EQ(VextrelChangeFacilityPriorityFunc(70, VXF_WORD(0, VXP_LOW)), static_cast<uint32_t>(VXP_HIGH) << 24);
    VextrelFormat(VXF_WORD(70, VXP_NORMAL), "now kept");
    EXPECT_EQ(TakeRecords(*config->Queue()), (Texts{"now kept"}));
    VextrelChangeFacilityPriorityFunc(70, VXF_WORD(0, VXP_URGENT));
    EXPECT_FALSE(VextrelFacilityOnFunc(VXF_WORD(70, VXP_HIGH)));
    EXPECT_TRUE(VextrelFacilityOnFunc(VXF_WORD(70, VXP_URGENT)));
}

TEST(FileTracer, ReplacingTheFileWhileTheWriterWritesLosesAndSplitsNoLine) {
    TempFolder folder;
    auto path = [&](int n) { return folder.Path("t" + std::to_string(n) + ".txt"); };
    auto openFile = [&](int n) {
        auto writer = std::make_shared<FileWriter>(path(n).c_str(), false);
        EXPECT_TRUE(writer->Open());
        return writer;
    };
    constexpr int kLines = 8000, kSwaps = 40;
    FileTracer tracer;
    tracer.SetWriter(openFile(0));
    std::atomic<int> written{0};
    std::thread writerThread([&] {
        for (int i = 0; i < kLines; ++i) {
            tracer.WriteAndFlush("line\n", 5);
            written.fetch_add(1);
        }
    });
    // Each replacement lands while the writer is mid-stream; the old file closes as it is let go.
    for (int swap = 1; swap <= kSwaps; ++swap) {
        while (written.load() < swap * kLines / (kSwaps + 1)) std::this_thread::yield();
        tracer.SetWriter(openFile(swap));
    }
    writerThread.join();
    tracer.CloseTraceFile();
    size_t lines = 0;
    for (int n = 0; n <= kSwaps; ++n) {
        std::string text = ReadFile(path(n));
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        lines += static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
        EXPECT_EQ(text.size() % 5, 0u) << n;
    }
    EXPECT_EQ(lines, static_cast<size_t>(kLines));
}
