#pragma once
// What every fuzz target shares.
//
// A target file holds, in an unnamed namespace, a set-up (or none) and a
// run function that takes any bytes and calls fuzz_check() on every promise
// of the code under test, then ends with
//     FUZZ_TARGET(name, setup, run)
// Built for libFuzzer (TARVONIC_LIBFUZZER defined, fuzz/CMakeLists.txt) that
// line makes the file a fuzzer of its own. Built into the normal test suite,
// it enters the target in a table instead, so that one test binary replays
// every target's checked-in corpus (fuzz/corpus/<name>/).
#include <cstddef>
#include <cstdint>
#include <vector>

using FuzzSetup = void (*)();
using FuzzRun = int (*)(const uint8_t* data, size_t size);

// Aborts with what when ok is false; under the corpus replay the failure
// goes to the handler the replay installed instead.
void fuzz_check(bool ok, const char* what);
void set_fuzz_failure_handler(void (*handler)(const char* what));

// Makes a new scratch directory the working directory (memory-backed when
// /dev/shm can be used, so file writes cost little) and silences the debug
// log. Every directory it made is removed when the process ends.
void enter_fuzz_dir();

struct FuzzTarget {
    const char* name;
    FuzzSetup setup; // may be null
    FuzzRun run;
};

// Every target built into this binary (the corpus replay's).
std::vector<FuzzTarget>& fuzz_targets();
bool register_fuzz_target(const char* name, FuzzSetup setup, FuzzRun run);

#ifdef TARVONIC_LIBFUZZER
#define FUZZ_TARGET(name, setup, run)                                                                            \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                                            \
    {                                                                                                             \
        FuzzSetup s = setup;                                                                                      \
        if (s)                                                                                                    \
            s();                                                                                                  \
        return 0;                                                                                                 \
    }                                                                                                             \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return run(data, size); }
#else
#define FUZZ_TARGET(name, setup, run) \
    static const bool fuzz_target_registered_##name = register_fuzz_target(#name, setup, run);
#endif
