#pragma once
// A text file created (or emptied) for writing, closed when the object goes.
#include <cstdio>
#include <memory>
#include <string>

namespace tallyx {

class OutputFile {
public:
    // Creates the file, and its folder when that does not exist yet. On failure
    // the object is empty and errno tells why.
    static OutputFile Create(const std::string& path);

    explicit operator bool() const { return file_ != nullptr; }
    std::FILE* get() const { return file_.get(); }

    // Writes a text and a line feed.
    void WriteLine(const std::string& text) const;

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace tallyx
