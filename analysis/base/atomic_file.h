// Replacing a file whole. The new bytes go to a temporary file in the
// target's folder, which is flushed to disk and then renamed over the
// target; the folder is flushed last so that the new name lasts. A reader,
// or a crash at any moment, finds the old file or the complete new one,
// never part of each. On any failure the temporary file is removed and the
// target stays as it was.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

// Why a replacement failed: the step that failed and its errno.
struct FileError {
  enum class Step {
    None,
    Create,  // the temporary file could not be made (folder missing, not writable)
    Write,   // writing or flushing it failed (a full disk)
    Rename,  // it could not take the target's name (the target is a folder)
  };
  Step step = Step::None;
  int code = 0;
};

// A replacement written in pieces. The temporary file is made at once;
// commit() puts it in place, and without commit() it goes away with the
// object. After the first failure every call does nothing and returns false.
class AtomicFile {
 public:
  // mode: the new file's permission bits, less the process's umask, as for
  // any file the program creates.
  explicit AtomicFile(std::string path, mode_t mode = 0666);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool write(std::string_view bytes);
  // Flushes the file, renames it over the target and flushes the folder.
  // True when the target now holds every byte written.
  bool commit();

  bool ok() const { return m_error.step == FileError::Step::None; }
  const FileError& error() const { return m_error; }

 private:
  void fail(FileError::Step step, int code);

  std::string m_path;
  std::string m_temp;
  int m_fd = -1;
  FileError m_error;
};

// Replaces the file at path by bytes. False on failure, with the reason in
// error, the target as it was and no temporary file left.
bool writeFileAtomically(const std::string& path, std::string_view bytes, FileError& error,
                         mode_t mode = 0666);
