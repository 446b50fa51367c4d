#pragma once
// Files and folders as the logs, the reader and the command-line tool use them: appends guarded
// across processes, removal, folders, and a few questions about paths.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tallyx {

// An open file of the backend; kNoFile when none.
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// Opens a file for appending, created when missing; others may read, write and delete it
// meanwhile. kNoFile on failure.
FileHandle OpenAppendFile(const std::string& path);
// Flushes the file to disk and closes it; kNoFile is allowed.
void CloseFile(FileHandle file);

// Appends all length bytes under an exclusive lock across processes, so that what others
// append lands before or after them, never among them. False when not all of it was written.
bool AppendWhole(FileHandle file, const char* data, std::size_t length);
// The same for the file at path, created when missing and closed again afterwards.
bool AppendWholeToFile(const char* path, const char* data, std::size_t length);
// The same for text: each line feed is stored as the system's text files end their lines.
bool AppendWholeTextToFile(const char* path, const char* data, std::size_t length);

// Opens a file with a C library mode ("w", "a", "wb", ...) that child processes do not inherit.
std::FILE* OpenStdioFile(const std::string& path, const char* mode);
// Flushes a C library file and its data to disk.
bool SyncStdioFile(std::FILE* file);
// Makes an open C library stream (standard output, say) write bytes as they are, with no
// translation of line feeds.
void MakeStdioBinary(std::FILE* file);

// Deletes a file; false when it could not be deleted.
bool RemoveFile(const std::string& path);
// Renames from to to, replacing a file of that name.
bool ReplaceFileWith(const std::string& from, const std::string& to);

// Whether the folder is there.
enum class FolderState { Exists, Missing, Unreachable };
FolderState QueryFolder(const std::string& path);
// Creates the last level of a folder; true when it exists afterwards.
bool MakeFolder(const std::string& path);
// Removes a folder that is empty; false when it could not be removed.
bool RemoveEmptyFolder(const std::string& path);
// The text of the last system error of a file operation.
std::string LastFileErrorText();

// True when the path names something (a file, folder or device).
bool PathExists(const std::string& path);
// The path with links resolved; the path itself when it cannot be resolved.
std::string ResolvedPath(const std::string& path);
// True when both paths lead to the same file or device.
bool SameFileOrDevice(const std::string& a, const std::string& b);

// The full path of the running program file; empty when unknown.
std::string RunningProgramPath();

// The path separator of the system, and whether a character is one.
extern const char kPathSeparator;
bool IsPathSeparator(char c);

// The path with the system's own separators: on Windows every "/" becomes a backslash, elsewhere
// the path is left as it is (a backslash is an ordinary character of a file name there).
std::string NativePath(std::string path);
// name inside folder, joined with the system's separator ("site12" and "volume.tmg" give
// site12\volume.tmg on Windows); name alone when folder is empty, and no second separator
// when folder ends in one. An empty name gives the folder with a separator at its end.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace tallyx
