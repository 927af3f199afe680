// The program's own files: the error log (appended), the wallpaper and the
// settings (each replaced as a whole). Every write goes through here, so that
// none of them follows a link planted by someone else, writes into a folder
// other users share, or leaves a half-written file behind.
//
// POSIX systems have src/platform/posix/files_posix.cpp, Windows
// src/platform/win32/files_win32.cpp; any other uses system/files_portable.cpp
// (the standard library alone). JoinPath is shared (system/files.cpp).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace wh::files {

// `folder` + separator + `name`; no second separator when `folder` already
// ends in one (the root of a drive).
std::string JoinPath(const std::string& folder, const std::string& name);

// Makes `folder` with its missing parents, new ones for the user alone. True
// when it is then a folder of the user's own that nobody else may write
// into; a folder shared with others (or a link at its place) is refused,
// since another user could plant files there. A folder its group may write
// into counts as shared unless the group is the user's private one (the
// user's own primary group, with no other member).
bool MakeOwnFolder(const std::string& folder);

// Appends `text` to `folder`/`name` in one write and closes the file at
// once, creating both when missing (the file with the user's usual modes).
// Only a regular file is appended to; a link at `name` is never followed.
// When `keep` is not 0 and the file would grow past `keep` bytes, it first
// becomes `name`.1 (replacing the one before) and a new file starts, so the
// two together stay below about twice `keep`.
// False when it cannot be done; nothing is raised.
bool AppendToFile(const std::string& folder, const std::string& name, const std::string& text,
                  size_t keep = 0);

// Replaces the content of `path` as a whole: the bytes go into a new file
// beside it, reach the disk, and the new file is renamed over the old one, so
// a full disk or a crash leaves the old content or the new one, never a mix.
// A link at `path` stays a link: the file it points to is replaced, when it
// lies in a folder of the user's own (see MakeOwnFolder). A new
// file gets the user's usual modes, an existing one keeps its own. Anything
// but a regular file at `path` is left alone, and so is a file the user made
// read-only ("Permission denied"). The folder must be the user's own; it is
// checked once and everything after goes through that checked folder, never
// by name again. Temporary files of ours older than kLeftoverSeconds that a
// crash left there are removed on the way. A failure raises the run-time
// error of the file operation.
void ReplaceFile(const std::string& path, const std::string& bytes);

// ReplaceFile for a file that is read, changed and written back: `change`
// gets the present content (nothing when there is no file yet; a file of
// another kind or over `limit` bytes raises, as ReadSmallFile does) and
// returns the new one. An advisory lock on the folder is held from the
// reading to the renaming, so two programs updating the same file take
// turns instead of losing each other's changes.
void UpdateFile(const std::string& path, size_t limit,
                const std::function<std::string(const std::optional<std::string>&)>& change);

// How old a temporary file of ours must be before a later write takes it
// for a crash's leftover: an hour, far longer than any write takes.
constexpr long kLeftoverSeconds = 3600;

// The name of a new file beside `name` while it is written: hidden, marked
// as ours, and made unguessable by `random` (its bytes spelled out).
std::string TemporaryName(const std::string& name, const std::string& random);
// Whether a name in a folder is one TemporaryName gives.
bool IsTemporaryName(const std::string& entry);

// The content of the regular file `path` (links followed), or nothing when
// there is no such file. A file of another kind (a pipe, a device, a
// folder), one larger than `limit` bytes or one that cannot be read raises a
// run-time error: a pipe would block and a device never end.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit);

}  // namespace wh::files
