#pragma once
// Keeps tests away from the user's cache folder: the mesh cache of every
// test (and of the programs tests start, which inherit the environment)
// lives in a folder of the test process's own.

// Points XDG_CACHE_HOME at a fresh temporary folder, once per process; the
// folder goes when the process ends. Later calls return the same folder.
const char* isolateUserCache();
