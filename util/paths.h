// Path routines shared by the copy engine and the window.
//
// Paths are byte strings with "/" as separator. The routines named after a
// backslash (AddBackslash, RemoveBackslash) work with "/". A "drive root" is "/"
// or a mount point: a folder whose device differs from its parent's. None of
// these keeps state; each answers a failure with false or an empty text.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <string>

// True when the path is an existing folder (links followed).
bool bIsFolder(const std::string& path);

// True when the path is a file that can be opened for reading.
bool bFileExists(const std::string& path);

// True for "/" and for mount points, with or without a trailing "/".
bool bIsRootPath(const std::string& path);

// Creates the folder and every missing parent; true when it exists afterwards.
bool bMakeFolder(const std::string& path);

// "/" for an empty path; the path unchanged when it ends with "/"; otherwise path + "/".
std::string AddBackslash(const std::string& path);

// The path without a trailing "/" when it is longer than "/".
std::string RemoveBackslash(const std::string& path);

// The text before the last "/" when that "/" is not the first character; otherwise empty.
std::string ParentFolder(const std::string& path);

// The text after the last "." of the last path element, without the dot; empty when there is none.
std::string ExtensionOf(const std::string& path);

// The last path element, after dropping one trailing "/"; empty for an empty path.
std::string FileNamePart(const std::string& path);

// The mount point that holds the path, with a trailing "/"; empty when the
// path is empty or its absolute form cannot be formed. A path that does not
// exist yet belongs to the mount point of its nearest existing parent.
std::string RootOfPath(const std::string& path);

// The target of the link "PATH.lnk" as an absolute path; empty when there is no such link.
std::string ShortcutTarget(const std::string& path);

// The folder of the running program's own file (links resolved), with a
// trailing "/"; empty when it cannot be read.
std::string ProgramFolder();
