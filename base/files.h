// File and text utilities of the base library: opening files with a logged
// message on failure, whole-file write, append and read, existence, removal,
// file-name suffixes, case conversion and ASCII character tests.  The dialogs
// and the help system build on these; every failure is logged through the
// message log and returned as a value, none ends the process.
#ifndef BASE_FILES_H
#define BASE_FILES_H

#include <cstddef>
#include <cstdio>

// 1 when path names an existing regular file (a symbolic link counts by its
// target), else 0.
int File_Exists(const char *path);
int exists_file(const char *path);

// Open path with "rb", "wb" or "ab".  On failure the message
// "(myio) Cannot open file '%s' for input!\n" (reading) or
// "(myio) Cannot open file '%s' for output!\n" (writing, appending) is logged
// and nullptr is returned.  The caller closes the file with File_Close.
FILE *File_Read_Open(const char *path);
FILE *File_Write_Open(const char *path);
FILE *File_Append_Open(const char *path);

// 1 when the whole text was written to the open file, else 0.
int File_Write(FILE *fp, const char *text);
// 1 when the file was closed without error (buffered data written), else 0.
int File_Close(FILE *fp);

// Makes text the whole content of path.  The text goes into a new file in
// the same directory that then replaces the old one, so the old content
// stays when anything fails.  Returns 1, or 0 after logging the output
// message (the file, or the new file beside it, cannot be opened for
// writing) or "(myio) Cannot write file '%s'!\n".
int File_Contents(const char *path, const char *text);

// Appends text to path, creating the file when missing.  A failed write is
// undone (the file keeps its old length).  Returns 1, or 0 after logging as
// File_Contents.
int File_Add_Contents(const char *path, const char *text);

// The whole content of path as a new text, owned by the caller and released
// with myfree.  A NUL byte in the file ends the text there.  nullptr when the
// file cannot be opened (input message logged) or read
// ("(myio) Cannot read file '%s'!\n").
char *File_Get_Contents(const char *path);

// Removes the file; 1 on success, else 0.
int del_file(const char *path);

// New texts (mymalloc, owned by the caller) with every character upper- or
// lower-cased by the current locale.  nullptr for a nullptr text.
char *Up(const char *text);
char *Low(const char *text);

// ASCII tests: "0"-"9"; "a"-"z" or "A"-"Z"; digit, letter or "_".
int digit(int c);
int letter(int c);
int ndigit(int c);

// A new text (mymalloc, owned by the caller): the name (at most 999
// characters of it) with the given suffix.  A name whose file part ends in
// "." and the suffix stays; another suffix after the last "." of the file
// part is replaced; a name without one gets "." and the suffix appended.
// Dots in the directory part are not suffixes.
char *setsuffix(const char *name, const char *suffix);

// Replaces the whole content of path by len bytes of data through a new file
// in the same directory that is renamed over the old one (permissions and
// owner of an existing file are kept; a symbolic link is followed; a path
// that is not a regular file, like a device, is written directly).  A file
// that could not be opened for writing in place (read-only, say) is left
// alone, as a plain overwrite would have failed.  Nothing is logged.
// Result: FILE_REPLACE_OK; FILE_REPLACE_NOFILE when the file cannot be opened
// for writing; FILE_REPLACE_NOTEMP when the new file cannot be created;
// FILE_REPLACE_FAILED when writing or renaming fails.  On failure the old
// file is untouched and no new file is left behind.
enum {
  FILE_REPLACE_OK = 0,
  FILE_REPLACE_NOTEMP = 1,
  FILE_REPLACE_FAILED = 2,
  FILE_REPLACE_NOFILE = 3
};
int File_Replace(const char *path, const char *data, size_t len);

#endif
