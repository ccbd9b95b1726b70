// Moving a staged set of files into place, all or none, with a journal
// that tells a later start whether to finish or undo a save cut short.
#include "core/file_set.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"

static const char staging_suffix[] = "/.saving";
static const char old_prefix[] = "old-";
static const char journal_name[] = "journal";
static const char journal_temp_name[] = "journal.new";
// A staging folder whose save is made, on its way out.
static const char done_suffix[] = ".done";

void (*file_set_step_hook)(const char* step) = nullptr;

void file_set_step(const char* step) {
  if (file_set_step_hook) file_set_step_hook(step);
}

char* file_set_staging(const char* folder) {
  const size_t n = std::strlen(folder) + sizeof staging_suffix;
  if (n > 1000) return nullptr;
  char* name = (char*)check_malloc(n);
  if (!name) return nullptr;
  std::snprintf(name, n, "%s%s", folder, staging_suffix);
  return name;
}

static std::string join(const std::string& folder, const char* prefix, const std::string& name) {
  return folder + "/" + prefix + name;
}

static int is_regular(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

static int exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

static int is_folder(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Flushes a file or folder to the disk. Folders that cannot be opened for
// it (some file systems) are no error.
static int flush_path(const std::string& path, int folder) {
  const int fd = ::open(path.c_str(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
  if (fd < 0) return folder ? 1 : 0;
  const int ok = ::fsync(fd) == 0 || (folder && (errno == EINVAL || errno == EBADF));
  ::close(fd);
  return ok;
}

// The real paths of the folder and of its staging folder.
static int real_folders(const char* folder, std::string* base, std::string* staging) {
  char* stage_name = file_set_staging(folder);
  char* b = home_file_path(folder);
  char* s = stage_name ? home_file_path(stage_name) : nullptr;
  check_free(stage_name);
  const int ok = b && s;
  if (ok) {
    *base = b;
    *staging = s;
  }
  check_free(b);
  check_free(s);
  return ok;
}

// The plain files in a folder.
static std::vector<std::string> files_in(const std::string& folder) {
  std::vector<std::string> out;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return out;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != ".." && is_regular(folder + "/" + name)) out.push_back(name);
  }
  ::closedir(d);
  return out;
}

// Empties the staging folder of plain files and removes it. 1 when gone.
static int remove_staging(const std::string& staging) {
  for (const std::string& name : files_in(staging))
    if (name != journal_name) ::unlink(join(staging, "", name).c_str());
  ::unlink(join(staging, "", journal_name).c_str());
  return ::rmdir(staging.c_str()) == 0 || errno == ENOENT;
}

void file_set_discard(const char* folder, const char* const* names, int count) {
  std::string base, staging;
  if (!real_folders(folder, &base, &staging)) return;
  for (int i = 0; i < count; i++) {
    ::unlink(join(staging, "", names[i]).c_str());
    ::unlink(join(staging, old_prefix, names[i]).c_str());
  }
  ::unlink(join(staging, "", journal_temp_name).c_str());
  ::rmdir(staging.c_str());
}

// Writes the journal: the staged names, one a line, then "end". It takes
// its place in one rename, so it is there whole or not at all.
static int write_journal(const std::string& staging, const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += n + "\n";
  text += "end\n";
  const std::string temp = join(staging, "", journal_temp_name);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      break;
    }
    done += (size_t)n;
  }
  int ok = done == text.size() && ::fsync(fd) == 0;
  const int saved = errno;
  if (::close(fd) != 0 && ok) ok = 0;
  else errno = saved;
  ok = ok && ::rename(temp.c_str(), join(staging, "", journal_name).c_str()) == 0;
  if (!ok) {
    const int why = errno;
    ::unlink(temp.c_str());
    errno = why;
    return 0;
  }
  flush_path(staging, 1);
  return 1;
}

// The journal's names, or false when it is not whole. Names that are not
// plain file names are refused: the journal must not move anything
// outside its folder.
static bool read_journal(const std::string& staging, std::vector<std::string>* names) {
  char* text = file_to_string(join(staging, "", journal_name).c_str());
  if (!text) return false;
  bool ended = false;
  bool sound = true;
  for (const char* p = text; *p && !ended;) {
    const char* end = std::strchr(p, '\n');
    if (!end) {
      sound = false;
      break;
    }
    const std::string line(p, (size_t)(end - p));
    p = end + 1;
    if (line == "end")
      ended = true;
    else if (line.empty() || line == "." || line == ".." || line.find('/') != std::string::npos)
      sound = false;
    else
      names->push_back(line);
  }
  check_free(text);
  return sound && ended;
}

int file_set_commit(const char* folder, const char* const* names, int count) {
  std::string base, staging;
  if (!real_folders(folder, &base, &staging)) {
    console_printf("Can't save into '%.900s'", folder);
    return 0;
  }
  // Every target must be a plain file or absent before anything moves,
  // and every staged file must be on the disk before the journal says the
  // save is made.
  std::vector<std::string> staged;
  for (int i = 0; i < count; i++) {
    const std::string from = join(staging, "", names[i]);
    if (!is_regular(from)) continue;
    const std::string target = join(base, "", names[i]);
    if (exists(target) && !is_regular(target)) {
      console_printf("Can't replace '%s': %s", names[i], is_folder(target) ? "a folder is in the way" : "not a file");
      file_set_discard(folder, names, count);
      return 0;
    }
    if (!flush_path(from, 0)) {
      console_printf("Can't save '%s': %s", names[i], std::strerror(errno));
      file_set_discard(folder, names, count);
      return 0;
    }
    staged.push_back(names[i]);
  }
  if (!write_journal(staging, staged)) {
    console_printf("Can't save into '%.900s': %s", folder, std::strerror(errno));
    file_set_discard(folder, names, count);
    return 0;
  }
  file_set_step("journal");
  // had_old[i]: the old file was kept aside before the new one moved in.
  std::vector<int> had_old(staged.size(), 0);
  size_t moved = 0;
  int ok = 1;
  for (; moved < staged.size() && ok; moved++) {
    const std::string& name = staged[moved];
    const std::string target = join(base, "", name);
    const std::string aside = join(staging, old_prefix, name);
    had_old[moved] = exists(target);
    if (had_old[moved] && std::rename(target.c_str(), aside.c_str()) != 0) {
      console_printf("Can't replace '%s': %s", name.c_str(), std::strerror(errno));
      ok = 0;
      break;
    }
    file_set_step(name.c_str());
    if (std::rename(join(staging, "", name).c_str(), target.c_str()) != 0) {
      console_printf("Can't replace '%s': %s", name.c_str(), std::strerror(errno));
      if (had_old[moved]) std::rename(aside.c_str(), target.c_str());
      ok = 0;
      break;
    }
    file_set_step(name.c_str());
  }
  if (!ok) {
    // Each new file goes back into the staging folder before its old one
    // returns, so a crash in the middle still finds a set to finish; only
    // when all are back does the journal go.
    while (moved-- > 0) {
      const std::string& name = staged[moved];
      const std::string target = join(base, "", name);
      std::rename(target.c_str(), join(staging, "", name).c_str());
      if (had_old[moved]) std::rename(join(staging, old_prefix, name).c_str(), target.c_str());
    }
    ::unlink(join(staging, "", journal_name).c_str());
    remove_staging(staging);
    return 0;
  }
  flush_path(base, 1);
  // The old files go while the journal is still there: a start that finds
  // it finishes the save and so never puts an old file back. Then the
  // staging folder, journal and all, takes its finished name in one step,
  // so that a folder left behind always tells a made save from one that
  // never got its journal.
  for (const std::string& name : staged) ::unlink(join(staging, old_prefix, name).c_str());
  const std::string done = staging + done_suffix;
  remove_staging(done);
  if (std::rename(staging.c_str(), done.c_str()) == 0) {
    file_set_step("finished");
    remove_staging(done);
  } else {
    remove_staging(staging);
  }
  return 1;
}

file_set_recovery file_set_recover(const char* folder) {
  std::string base, staging;
  if (!real_folders(folder, &base, &staging)) return file_set_nothing;
  const int was_done = is_folder(staging + done_suffix);
  if (was_done) remove_staging(staging + done_suffix);
  if (!is_folder(staging)) {
    if (was_done) console_printf("Finished the interrupted save of '%.900s': the new files are in place", folder);
    return was_done ? file_set_finished : file_set_nothing;
  }
  std::vector<std::string> names;
  file_set_recovery result;
  if (exists(join(staging, "", journal_name)) && read_journal(staging, &names)) {
    for (const std::string& name : names) {
      const std::string from = join(staging, "", name);
      if (is_regular(from) && std::rename(from.c_str(), join(base, "", name).c_str()) != 0) {
        console_printf("Can't finish the interrupted save of '%.900s': '%s': %s", folder, name.c_str(),
                       std::strerror(errno));
        return file_set_stuck;
      }
    }
    flush_path(base, 1);
    result = file_set_finished;
  } else {
    // Without a whole journal the save was not made: every file kept aside
    // goes back, whatever stands in its place.
    for (const std::string& name : files_in(staging)) {
      if (name.compare(0, sizeof old_prefix - 1, old_prefix) != 0) continue;
      const std::string target = join(base, "", name.substr(sizeof old_prefix - 1));
      if (std::rename(join(staging, "", name).c_str(), target.c_str()) != 0) {
        console_printf("Can't undo the interrupted save of '%.900s': '%s': %s", folder, name.c_str() + 4,
                       std::strerror(errno));
        return file_set_stuck;
      }
    }
    flush_path(base, 1);
    result = file_set_undone;
  }
  if (!remove_staging(staging))
    console_printf("Can't remove '%.900s%s': %s", folder, staging_suffix, std::strerror(errno));
  if (result == file_set_finished)
    console_printf("Finished the interrupted save of '%.900s': the new files are in place", folder);
  else
    console_printf("Undid the interrupted save of '%.900s': the files from before it are kept", folder);
  return result;
}
