// MV2.ini with the Windows profile-file rules, on every platform.
#pragma once
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// Raised when the file cannot be written; the text is "In <full path> kann nicht geschrieben
// werden".
class ProfileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An INI file read and written the way the Windows private-profile functions do it.
// Nothing is cached: other programs may edit the file between calls. A file in UTF-16 with its
// byte-order mark, or in UTF-8 with one, is read as UTF-8 and written back in its own encoding;
// other files are 8-bit text, kept byte for byte. What is not a regular file of at most 1 MiB
// reads as empty and is never written; nor does a write take a file past that size.
class ProfileFile {
public:
    explicit ProfileFile(std::string path);
    // A settings file that cannot be located (the working directory is gone): reads give the
    // defaults, and every write fails with the message for `shownName`.
    static ProfileFile Unavailable(const std::string& shownName);

    const std::string& Path() const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    std::vector<std::pair<std::string, std::string>>
    ReadSectionValues(const std::string& section) const;
    // The file is replaced whole or left as it was (a full disk cannot cut it short).
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    std::string path_;
    bool available_ = true;
};
