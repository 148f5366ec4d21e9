#pragma once
// The active skene list: which skenes of the demo are loaded, rendered and
// synchronised, in which order, and which rocket each one talks to. It lives
// in a setup file (".as") under fx/_ActiveSkeneSetups; the one in use is the
// list's setupPath.
//
// Setup file format, one record per active skene, in list order:
//   "skene:" <name> NUL "port:" <rocket index in decimal> NUL LF
//
// The in-memory list always keeps the rocket index stored in the file. In
// single-rocket mode every skene talks to rocket 0: code that picks a rocket
// asks effectiveRocketIndex() instead of reading the stored index, so editing
// the list in single-rocket mode never writes "port:0" records (which the next
// read would drop).
#include <string>
#include <vector>

struct ActiveSkene {
    std::string name;
    int rocketIndex = 0; // as stored after "port:"; the port is 1338 + this
};

struct ActiveSkeneList {
    std::vector<ActiveSkene> entries;
    // The active setup file: chosen by start-up (command line, default or
    // the current-setup file) and by the start dialog.
    std::string setupPath;
};

// The one active skene list of the running demo, made by its owner (app/ProcessState.h).
ActiveSkeneList& activeSkeneList();


// Longest field (its "skene:" or "port:" prefix included) that the reader
// takes; a record with a longer field is dropped as a whole.
constexpr size_t kSetupFieldMaxBytes = 511;

// Smallest and largest rocket index that addActiveSkene hands out.
constexpr int kFirstRocketIndex = 1;
constexpr int kLastRocketIndex = 99;

// The bytes of a setup file holding entries.
std::string formatActiveSkenes(const std::vector<ActiveSkene>& entries);

// The entries of a setup file's bytes. Records whose port does not parse or
// is not above 0, whose name is empty, or with an over-long field are
// dropped. CR LF line ends and a last record without its line feed are
// accepted.
std::vector<ActiveSkene> parseActiveSkenes(const std::string& bytes);

// Replaces the list by the entries of the active setup file. When the file
// cannot be opened the list keeps its content; false then.
bool readActiveSkenes();

// Writes the whole list to the active setup file (through a temporary file
// and a rename). False when it could not; the list is unchanged either way.
bool writeActiveSkenes();

// True when the name can be stored in a setup file and read back: not empty,
// no NUL or line feed, short enough for the reader's field limit.
bool isStorableSkeneName(const std::string& name);

// Appends the skene with the smallest rocket index in 1..99 that no entry
// uses and writes the file. Nothing happens (false) when the skene is already
// active, its name cannot be stored, or every index is taken.
bool addActiveSkene(const std::string& name);

// Removes the first entry with exactly this name and writes the file; false
// (nothing written) when there is none.
bool removeActiveSkene(const std::string& name);

// Moves the first entry with this name so that it lands before the entry now
// at newIndex (a drop position: moving down by one takes the current position
// + 2). Indices past the end append, negative ones put it first. Writes the
// file; false when no entry has the name.
bool moveActiveSkene(const std::string& name, int newIndex);

// True when an entry has exactly this name.
bool isActiveSkene(const std::string& name);

// Position of the first entry with this name, or -1.
int activeSkenePosition(const std::string& name);

// The rocket slot that a skene's tracks go to: its stored index with one
// rocket per skene, 0 in single-rocket mode or when the skene is not active.
int effectiveRocketIndex(const std::string& name);
int effectiveRocketIndex(const ActiveSkene& entry);

// The current-setup file remembers the chosen setup's file name as its whole
// content, no line end. Reading drops one line end (LF, CR LF or CR) that a
// text editor added.
std::string readCurrentSetupName(const std::string& fxPath);
bool writeCurrentSetupName(const std::string& fxPath, const std::string& setupName);

// Path of a setup file name under fxPath.
std::string setupFilePath(const std::string& fxPath, const std::string& setupName);

// The start dialog's order of setup files: those equal to the current setup
// name first, then all others, each group in listing order.
std::vector<std::string> orderSetupFiles(const std::vector<std::string>& setupFiles,
                                         const std::string& currentSetupName);
