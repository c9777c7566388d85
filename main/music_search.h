// Where the program finds its music: the working folder first (where the
// show has always been run from), then the folder that holds the program,
// then the installed data folder.
#pragma once

#include <string>
#include <vector>

// The folder that holds the running program, or "" when the system cannot
// say.
std::string ExecutableFolder();

// The installed data folder: `configured` itself when it is an absolute
// path; else `configured` taken from the program's folder, each leading
// ".." going up one folder ("/usr/local/bin" and "../share/orchid" give
// "/usr/local/share/orchid"), so that an installed tree finds its data
// wherever it was put. "" when there is nothing to start from.
std::string DataFolder(const std::string& executableFolder, const std::string& configured);

// The folders to look in, in order: ".", then `executableFolder` and
// `dataFolder` where given (non-empty) and not already listed.
std::vector<std::string> MusicFolders(const std::string& executableFolder, const std::string& dataFolder);

// The path of `name` in the first of `folders` where it opens for reading:
// the bare name in ".", else folder/name; a folder of that name does not
// count (EISDIR). "" when it opens in none; `error` then holds the errno of
// the last attempt.
std::string FindMusic(const char* name, const std::vector<std::string>& folders, int* error);

// The line that says the music could not be opened, without a newline:
//   orchid: cannot open the music 'NAME' (looked in A, B): REASON
// `folders` empty: the name was given as a path, and no folders are listed.
std::string MusicNotFound(const char* name, const std::vector<std::string>& folders, int error);

// The line that says the music found at `path` cannot be played, without a
// newline:
//   orchid: cannot play the music 'PATH': REASON
// REASON from the kind and size of the file alone (nothing is read): not a
// regular file, empty, or else not decodable as MP3.
std::string MusicUnplayable(const char* path);
