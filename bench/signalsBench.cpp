// CAN databases: reading a 1 MB database, decoding every signal of a frame over the real databases beside
// the repository (random frames of every message), and a million-frame candump log through korvel-decode.

#include "signals/databaseSet.h"
#include "signals/dbc.h"
#include "signals/signalCodec.h"

#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace korvel;

namespace {

// A generated database of about 1 MB: a thousand messages of both id kinds, both byte orders, value tables,
// comments, attributes and multiplexed pages.
const std::string& megabyteDatabase() {
    static const std::string text = [] {
        std::string dbc = "VERSION \"\"\n\nNS_ :\n    CM_\n\nBS_:\n\nBU_: ECU GW\n\n";
        std::string tail;
        char line[256];
        for (int m = 0; dbc.size() + tail.size() < 1'000'000; ++m) {
            const uint32_t id =
                m % 3 == 0 ? 0x80000000u | (0x18F00000u + m) : static_cast<uint32_t>(m % 0x7FF);
            std::snprintf(line, sizeof line, "BO_ %u Message_%d: 8 ECU\n", id, m);
            dbc += line;
            for (int s = 0; s < 8; ++s) {
                const bool intel = (m + s) % 2 == 0;
                const char* mux = m % 5 == 0 ? (s == 0 ? " M" : " m1") : "";
                std::snprintf(line, sizeof line,
                              " SG_ Signal_%d_%d%s : %d|8@%d%c (0.25,-40) [-40|23.75] \"unit\" GW,ECU\n", m,
                              s, mux, intel ? s * 8 : s * 8 + 7, intel ? 1 : 0, s % 2 ? '-' : '+');
                dbc += line;
            }
            dbc += '\n';
            std::snprintf(line, sizeof line, "CM_ BO_ %u \"Message %d, sent every %d ms\";\n", id, m,
                          10 + m % 90);
            tail += line;
            std::snprintf(line, sizeof line, "BA_ \"GenMsgCycleTime\" BO_ %u %d;\n", id, 10 + m % 90);
            tail += line;
            std::snprintf(line, sizeof line,
                          "VAL_ %u Signal_%d_1 0 \"Off\" 1 \"On\" 2 \"Error\" 3 \"Unknown\" ;\n", id, m);
            tail += line;
        }
        return dbc + "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 10000;\n" + tail;
    }();
    return text;
}

void BM_ReadMegabyteDatabase(benchmark::State& state) {
    const std::string& text = megabyteDatabase();
    std::size_t messages = 0;
    for (auto _ : state) {
        Database db = readDbc(text);
        messages = db.messages.size();
        benchmark::DoNotOptimize(db);
    }
    state.counters["bytes"] = static_cast<double>(text.size());
    state.counters["messages"] = static_cast<double>(messages);
}
BENCHMARK(BM_ReadMegabyteDatabase)->Unit(benchmark::kMillisecond);

std::string sharedDatabaseFolder() {
    for (const char* folder : {KORVEL_SOURCE_DIR "/../shared/dbc", "../shared/dbc"}) {
        if (std::filesystem::is_directory(folder))
            return folder;
    }
    return {};
}

struct Frame {
    const MessageDef* message;
    uint8_t data[8];
};

// Every message of every shared database, with random data, in a shuffled stream; the generated database
// stands in when the shared ones are not there.
const std::vector<Frame>& frames(DatabaseSet& set) {
    static std::vector<Frame> stream;
    std::string folder = sharedDatabaseFolder();
    if (!folder.empty()) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            Database db;
            std::string error;
            if (entry.path().extension() == ".dbc" && loadDbcFile(entry.path().string(), db, error))
                set.add(std::move(db));
        }
    }
    if (set.empty())
        set.add(readDbc(megabyteDatabase()));
    std::mt19937 random(8);
    stream.clear();
    for (int round = 0; round < 64; ++round) {
        for (int d = 0; d < set.size(); ++d) {
            for (const MessageDef& m : set.at(d).messages) {
                Frame f{&m, {}};
                for (uint8_t& byte : f.data)
                    byte = static_cast<uint8_t>(random());
                stream.push_back(f);
            }
        }
    }
    std::shuffle(stream.begin(), stream.end(), random);
    return stream;
}

// Looking the frame's message up and decoding all its signals, as a view does for each frame it shows.
void BM_DecodeFrame(benchmark::State& state) {
    DatabaseSet set;
    const std::vector<Frame>& stream = frames(set);
    std::vector<DecodedSignal> out;
    std::size_t next = 0;
    double decoded = 0;
    for (auto _ : state) {
        const Frame& f = stream[next];
        next = next + 1 == stream.size() ? 0 : next + 1;
        const MessageDef* m = set.find(f.message->id, f.message->extended);
        decodeMessage(*m, f.data, 8, out);
        decoded += static_cast<double>(out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["signals/frame"] = decoded / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DecodeFrame);

// A million frames of the shared databases' messages as a candump log, decoded to JSON by korvel-decode.
void BM_KorvelDecodeMillionFrames(benchmark::State& state) {
    std::string folder = sharedDatabaseFolder();
    if (folder.empty()) {
        state.SkipWithError("no shared databases");
        return;
    }
    QTemporaryDir dir;
    const std::string log = dir.filePath(QStringLiteral("million.log")).toStdString();
    DatabaseSet set;
    const std::vector<Frame>& stream = frames(set);
    {
        std::ofstream out(log);
        char line[96];
        for (int n = 0; n < 1'000'000; ++n) {
            const Frame& f = stream[static_cast<std::size_t>(n) % stream.size()];
            std::snprintf(line, sizeof line, "(%d.%06d) can0 %0*X#%02X%02X%02X%02X%02X%02X%02X%02X\n",
                          1700000000 + n / 1000, n % 1000 * 1000, f.message->extended ? 8 : 3, f.message->id,
                          f.data[0], f.data[1], f.data[2], f.data[3], f.data[4], f.data[5], f.data[6],
                          f.data[7]);
            out << line;
        }
    }
    QStringList arguments;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".dbc")
            arguments << QStringLiteral("--dbc") << QString::fromStdString(entry.path().string());
    }
    arguments << QString::fromStdString(log);
    for (auto _ : state) {
        QProcess decode;
        decode.setStandardOutputFile(QProcess::nullDevice());
        decode.setStandardErrorFile(QProcess::nullDevice());
        decode.start(QStringLiteral(KORVEL_DECODE_PATH), arguments);
        if (!decode.waitForFinished(120'000) || decode.exitCode() != 0)
            state.SkipWithError("korvel-decode failed");
    }
}
BENCHMARK(BM_KorvelDecodeMillionFrames)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
