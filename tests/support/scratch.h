#pragma once
// A private temporary folder per test, removed with everything in it.

#include <string>

namespace sonivate::test {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return mPath; }
    // pName inside the folder.
    std::string file(const std::string& pName) const { return mPath + "/" + pName; }

private:
    std::string mPath;
};

// The whole content of the file pPath; empty when it cannot be read.
std::string ReadText(const std::string& pPath);

}  // namespace sonivate::test
