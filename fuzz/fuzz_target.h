#pragma once
// A scratch working directory for a fuzz run, removed when the process ends.
// Memory-backed when /dev/shm can be used, so file writes cost little.

// Creates the directory, makes it the working directory and silences the
// debug log; call once from LLVMFuzzerInitialize.
void enter_fuzz_dir();
