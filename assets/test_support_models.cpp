#include "assets/test_support_models.h"

#include <filesystem>
#include <fstream>

#include "assets/model.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/message_ring.h"

std::string model_fixture(const std::string& relative, const std::string& text) {
  const std::string path = std::string(search_root(0)) + relative;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
  return "@" + relative;
}

void console_lines_clear() { message_ring_clear(); }

int console_lines_with(const std::string& text) {
  int n = 0;
  for (int k = 1; k <= message_ring_size; ++k) {
    const char* line = message_ring_line(k);
    if (line && std::string(line).find(text) != std::string::npos) ++n;
  }
  return n;
}

void models_reset() {
  model_delete_stale(1);
  free_file_index();
  model_generation = 0;
  model_compile_lists = 0;
}
