// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartDownload.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"
#include "support/TestCharts.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

const std::string TOOL = ORVANTIS_BIN_DIR "/orvantis-chart";

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ChartWith(const std::function<void(BandPen&)>& draw) {
    RgbaImage image = PaperImage(60, 20);
    BandPen pen(image, 2, 3);
    draw(pen);
    return EncodeForTest(image, {PngEncoding::Rgb8});
}

// The files the tool is run on, in the folder it is run in.
class ChartTool : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_dir.File("good.png"),
                  ChartWith([](BandPen& p) { p.Anchor().Text("1662.50").Foreign(); }));
        WriteFile(m_dir.File("empty.png"), ChartWith([](BandPen& p) { p.Anchor().Foreign(); }));
        WriteFile(m_dir.File("noanchor.png"), ChartWith([](BandPen& p) { p.Text("1662.50"); }));
        WriteFile(m_dir.File("letter.png"), ChartWith([](BandPen& p) {
                      p.Anchor().Text("1").Columns({0xFC, 0x12, 0xFC, 0});
                  }));
        WriteFile(m_dir.File("--odd.png"),
                  ChartWith([](BandPen& p) { p.Anchor().Text("7").Foreign(); }));
        WriteFile(m_dir.File("garbage.png"), {'n', 'o', 't', ' ', 'a', ' ', 'P', 'N', 'G'});
    }

    // Runs the tool in the folder with the arguments (a shell line) and `stdinFile`.
    ToolRun Run(const std::string& arguments, const std::string& stdinFile = "/dev/null",
                const std::string& environment = "") {
        const std::string command = "cd '" + m_dir.Path() + "' && " + environment + " '" + TOOL +
                                    "' " + arguments + " <'" + stdinFile + "' >'" +
                                    m_dir.File("stdout") + "' 2>'" + m_dir.File("stderr") + "'";
        const int raw = std::system(command.c_str());
        ToolRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadFileBytes(m_dir.File("stdout"));
        run.err = ReadFileBytes(m_dir.File("stderr"));
        return run;
    }

    TempDir m_dir;
};

struct ToolCase {
    std::string name;
    std::string arguments;
    std::string out;
    int status;
};

class ChartToolRuns : public ChartTool, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(ChartToolRuns, PrintOneLinePerFileAndTheRightStatus) {
    const ToolCase& c = GetParam();
    const ToolRun run = Run(c.arguments, m_dir.File("good.png"));
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, ChartToolRuns,
    ::testing::Values(ToolCase{"APrice", "good.png", "good.png: 1662.50\n", 0},
                      ToolCase{"AnEmptyText", "empty.png", "empty.png: \n", 0},
                      ToolCase{"NoAnchor", "noanchor.png", "noanchor.png: no price\n", 1},
                      ToolCase{"AFailedReading", "letter.png", "letter.png: no price\n", 1},
                      ToolCase{"NotAPng", "garbage.png", "garbage.png: no price\n", 1},
                      ToolCase{"SeveralInOrder", "good.png noanchor.png empty.png",
                               "good.png: 1662.50\nnoanchor.png: no price\nempty.png: \n", 1},
                      ToolCase{"StandardInput", "- good.png", "-: 1662.50\ngood.png: 1662.50\n", 0},
                      ToolCase{"RepeatedReadsPrintedOnce", "--repeat 25 good.png empty.png",
                               "good.png: 1662.50\nempty.png: \n", 0},
                      ToolCase{"AFileNamedLikeAnOption", "-- --odd.png", "--odd.png: 7\n", 0}),
    [](const ::testing::TestParamInfo<ToolCase>& param) { return param.param.name; });

class ChartToolMistakes : public ChartTool, public ::testing::WithParamInterface<std::string> {};

TEST_P(ChartToolMistakes, AreUsageErrorsOnOneLine) {
    const ToolRun run = Run(GetParam());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Arguments, ChartToolMistakes,
                         ::testing::Values("", "--repeat 0 good.png", "--repeat x good.png",
                                           "--repeat 3x good.png", "--repeat -1 good.png",
                                           "good.png --repeat", "--frobnicate good.png",
                                           "--fetch good.png"));

TEST_F(ChartTool, ReportsAMissingFileAndGoesOnWithTheOthers) {
    const ToolRun run = Run("missing.png good.png");
    EXPECT_EQ(run.out, "good.png: 1662.50\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("missing.png"), std::string::npos);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

TEST_F(ChartTool, ReadsSixteenMebibytesAndRefusesMore) {
    const auto zeros = [this](const std::string& name, std::uintmax_t size) {
        WriteFile(m_dir.File(name), {});
        std::filesystem::resize_file(m_dir.File(name), size);
    };
    zeros("full", 16 * 1024 * 1024);
    EXPECT_EQ(Run("full").out, "full: no price\n");
    zeros("over", 16 * 1024 * 1024 + 1);
    const ToolRun file = Run("over");
    EXPECT_EQ(file.status, 2);
    EXPECT_EQ(file.out, "");
    const ToolRun piped = Run("-", m_dir.File("over"));
    EXPECT_EQ(piped.status, 2);
    EXPECT_EQ(piped.err, "orvantis-chart: -: larger than 16 MiB\n");
}

TEST_F(ChartTool, ExplainsItselfOnHelp) {
    const ToolRun run = Run("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--repeat N"), std::string::npos);
    EXPECT_NE(run.out.find("--fetch"), std::string::npos);
}

// ---- --fetch against a loopback chart server --------------------------------------------

struct FetchCase {
    std::string name;
    int httpStatus;
    std::string file; // the body: one of the fixture's files
    std::string out;  // after "<url>: "
    int status;
};

class ChartToolFetches : public ChartTool, public ::testing::WithParamInterface<FetchCase> {};

TEST_P(ChartToolFetches, SayWhatTheChartGave) {
    const FetchCase& c = GetParam();
    LoopbackServer server(LoopbackServer::Reply(c.httpStatus, ReadFileBytes(m_dir.File(c.file))));
    const ToolRun run = Run("--fetch", "/dev/null", "ORVANTIS_CHART_SERVER='" + server.Url() + "'");
    const std::string url = server.Url() + CHART_PATH;
    EXPECT_EQ(run.status, c.status);
    if (c.status == 2) {
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "orvantis-chart: " + url + ": " + c.out + "\n");
    } else {
        EXPECT_EQ(run.out, url + ": " + c.out + "\n");
        EXPECT_EQ(run.err, "");
    }
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].requestLine, std::string("GET ") + CHART_PATH + " HTTP/1.1");
}

INSTANTIATE_TEST_SUITE_P(
    Server, ChartToolFetches,
    ::testing::Values(
        FetchCase{"APrice", 200, "good.png", "1662.50", 0},
        FetchCase{"AnUndecodableImage", 200, "garbage.png", "no price (undecodable image)", 1},
        FetchCase{"NoAnchor", 200, "noanchor.png", "no price (no anchor)", 1},
        FetchCase{"AFailedReading", 200, "letter.png", "no price (reading failed)", 1},
        FetchCase{"AnHttpError", 404, "good.png", "HTTP status 404", 2}),
    [](const ::testing::TestParamInfo<FetchCase>& param) { return param.param.name; });

TEST_F(ChartTool, GivesTheNetworkReasonWhenNoServerAnswers) {
    LoopbackServer server(LoopbackServer::Reply(200, ""));
    const std::string url = server.Url();
    server.Stop();
    const ToolRun run = Run("--fetch", "/dev/null", "ORVANTIS_CHART_SERVER='" + url + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("orvantis-chart: " + url + CHART_PATH + ": network error: ", 0), 0u)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

} // namespace
