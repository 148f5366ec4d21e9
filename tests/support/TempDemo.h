#pragma once
// A throw-away demo folder for tests, removed with the object.
#include <string>

class TempDemo {
public:
    TempDemo();
    ~TempDemo();
    TempDemo(const TempDemo&) = delete;
    TempDemo& operator=(const TempDemo&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    // Writes content to root/relative, creating the folders on the way.
    void write(const std::string& relative, const std::string& content) const;
    void makeDir(const std::string& relative) const;
    // Makes root the working directory (restored by the destructor).
    void enter();

private:
    std::string root_;
    std::string previousDir_;
};

// A start dialog (fx/startDialog.qml) that starts at once, without its keys:
// no edit view, no sync editors, 640x360, the given setup file name.
std::string startAtOnceDialog(const std::string& setup);
