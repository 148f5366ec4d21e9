// Every fuzz target's checked-in corpus, replayed by the normal build: the
// seeds and each input that ever broke a target, kept so the fault stays
// mended. A broken check names the input; a crash ends the test.
#include "fuzz_target.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path corpus_root = fs::path(TARVONIC_SOURCE_DIR) / "fuzz" / "corpus";

[[noreturn]] void throw_failure(const char* what)
{
    throw std::runtime_error(what);
}

class CorpusReplay : public testing::TestWithParam<FuzzTarget> {
};

TEST_P(CorpusReplay, EveryInputKeepsEveryPromise)
{
    const FuzzTarget& target = GetParam();
    const fs::path dir = corpus_root / target.name;
    ASSERT_TRUE(fs::is_directory(dir)) << dir << ": a target without a corpus";
    const fs::path cwd = fs::current_path();
    if (target.setup)
        target.setup();
    set_fuzz_failure_handler(throw_failure);
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(dir))
        inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    EXPECT_FALSE(inputs.empty()) << dir;
    for (const fs::path& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        try {
            target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        } catch (const std::exception& e) {
            ADD_FAILURE() << input.filename() << ": " << e.what();
        }
    }
    set_fuzz_failure_handler(nullptr);
    fs::current_path(cwd);
}

std::string targetName(const testing::TestParamInfo<FuzzTarget>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, testing::ValuesIn(fuzz_targets()), targetName);

TEST(CorpusReplay, EveryCorpusHasItsTarget)
{
    for (const auto& entry : fs::directory_iterator(corpus_root)) {
        const std::string name = entry.path().filename().string();
        const bool known = std::any_of(fuzz_targets().begin(), fuzz_targets().end(),
                                       [&](const FuzzTarget& t) { return name == t.name; });
        EXPECT_TRUE(known) << name << ": a corpus without a target";
    }
}

} // namespace
