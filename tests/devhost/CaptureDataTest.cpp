// A capture's data: the CSV file and the per-plate summary, both made block
// by block.
#include "devhost/engine/capture/CaptureData.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace zorvahost;

namespace {

/// A block as a plate pushes it.
struct PushedBlock
{
    std::int64_t frame = 0;
    int samplesPerBlock = 0;
    std::vector<float> values;
};

/// One plate's blocks, in the order they came.
struct PlateRecording
{
    std::string name;
    std::vector<PushedBlock> blocks;
};

PlateSummary Summarise(const std::vector<PushedBlock>& blocks)
{
    RunningSummary summary;
    for (const PushedBlock& block : blocks)
        summary.Add(block.frame, block.values.data(), block.values.size());
    return summary.Summary();
}

/// A block of `samples` samples starting at `frame`, every sample with Fz `fz`
/// (0: blanked, all nine values 0) and CoP (cx, cy).
PushedBlock Block(std::int64_t frame, int samples, float fz, float cx = 0.0f, float cy = 0.0f)
{
    PushedBlock block;
    block.frame = frame;
    block.samplesPerBlock = samples;
    for (int s = 0; s < samples; ++s) {
        const float values[9] = {fz != 0.0f ? -0.0f : 0.0f, 1.5f, fz, 2.0f, -3.0f, 0.25f, cx, cy, 0.0f};
        block.values.insert(block.values.end(), values, values + (fz != 0.0f ? 9 : 0));
        if (fz == 0.0f)
            block.values.insert(block.values.end(), 9, 0.0f);
    }
    return block;
}

std::string CsvOf(const std::vector<PlateRecording>& plates, unsigned int rate)
{
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    if (!file)
        return std::string();
    CsvWriter writer(file);
    for (const PlateRecording& plate : plates) {
        for (const PushedBlock& block : plate.blocks)
            writer.Write(plate.name, block.frame, block.values.data(), block.values.size(), rate);
    }
    EXPECT_TRUE(writer.Finish());
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

} // namespace

TEST(CaptureData, RunningSummary_RunsSplitAtGapsAndStepsBack)
{
    struct Case
    {
        const char* what;
        std::vector<std::int64_t> frames; ///< of 16-sample blocks
        std::string runs;
    };
    const Case cases[] = {
        {"continuous", {0, 16, 32}, "0..47"},
        {"negative start (hardware trigger)", {-5, 11}, "-5..26"},
        {"a lost block", {0, 16, 48}, "0..31, 48..63"},
        {"restart after re-arming", {1000, 1016, 10, 26}, "1000..1031, 10..41"},
        {"a block repeated", {0, 16, 16}, "0..31, 16..31"},
        {"nothing", {}, "-"},
    };
    for (const Case& c : cases) {
        std::vector<PushedBlock> blocks;
        for (std::int64_t frame : c.frames)
            blocks.push_back(Block(frame, 16, 700.0f));
        EXPECT_EQ(RunsText(Summarise(blocks).runs), c.runs) << c.what;
    }
}

TEST(CaptureData, RunningSummary_MeansOverLoadedSamplesOnly)
{
    const PlateSummary summary =
        Summarise({Block(0, 16, 600.0f, 0.1f, -0.2f), Block(16, 16, 0.0f), Block(32, 16, 800.0f, 0.3f, 0.2f)});
    EXPECT_EQ(summary.blocks, 3u);
    EXPECT_EQ(summary.samples, 48u);
    EXPECT_EQ(summary.loaded, 32u);
    EXPECT_NEAR(summary.meanFz, 700.0, 1e-9);
    EXPECT_NEAR(summary.meanCopX, 0.2, 1e-6);
    EXPECT_NEAR(summary.meanCopY, 0.0, 1e-6);
    const PlateSummary empty = Summarise({Block(0, 16, 0.0f)});
    EXPECT_EQ(empty.loaded, 0u);
    EXPECT_EQ(empty.meanFz, 0.0);
}

TEST(CaptureData, CsvWriter_HeaderThenOneRowPerSampleAndPlate)
{
    PlateRecording first;
    first.name = "ZA1P1";
    first.blocks = {Block(-2, 2, 700.0f, 0.125f, -0.5f)};
    PlateRecording second;
    second.name = "ZA2P2";
    second.blocks = {Block(500, 1, 0.0f)};
    const std::string csv = CsvOf({first, second}, 1000);
    EXPECT_EQ(csv, CsvHeader() + "\n"
                                 "ZA1P1,-2,-0.002000,0,1.5,700,2,-3,0.25,0.125,-0.5\n"
                                 "ZA1P1,-1,-0.001000,0,1.5,700,2,-3,0.25,0.125,-0.5\n"
                                 "ZA2P2,500,0.500000,0,0,0,0,0,0,0,0\n");
    // Named units, one column per value; Cz, always 0, is not written.
    EXPECT_EQ(CsvHeader(), "plate,sample,time_s,Fx_N,Fy_N,Fz_N,Mx_Nm,My_Nm,Mz_Nm,CoPx_m,CoPy_m");
}

TEST(CaptureData, CsvWriter_FloatsKeepTheirPrecisionAndNoRate_LeavesTimeEmpty)
{
    PlateRecording plate;
    plate.name = "P";
    PushedBlock block;
    block.frame = 7;
    block.values = {-696.5f, 0.1f, 1234567.0f, 1e-7f, -0.0333333f, 0, 0, 0, 0};
    plate.blocks = {block};
    EXPECT_EQ(CsvOf({plate}, 0), CsvHeader() + "\nP,7,,-696.5,0.1,1234567,1e-07,-0.0333333,0,0,0\n");
}

TEST(CaptureData, CsvField_QuotedOnlyWhenNeeded)
{
    EXPECT_EQ(CsvField("ZA100-4471PEN600-10482"), "ZA100-4471PEN600-10482");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField(""), "");
}
