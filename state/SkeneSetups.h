#pragma once
// Directory listings of the demo folder and the one-line settings files.
#include <string>
#include <vector>

// Names in dir that contain ".as" and do not begin with ".", in listing order.
std::vector<std::string> listSetupFiles(const std::string& dir);

// Names in dir that contain no "." and do not begin with "." (files and
// directories alike), in listing order.
std::vector<std::string> listSkeneDirectories(const std::string& dir);

// The whole file as text; empty when it cannot be opened.
std::string readTextFile(const std::string& path);

// Writes text as the whole file (through a temporary file and a rename, so
// the old content survives a failed write). False when it could not.
bool writeTextFile(const std::string& path, const std::string& text);

// Path of the current-setup file under fxPath.
std::string currentSetupFilePath(const std::string& fxPath);
