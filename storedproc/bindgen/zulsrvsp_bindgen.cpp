// zulsrvsp_bindgen.cpp -- writes the bind file of the stored-procedure
// package (zulsrvsp.bnd) from the library's own section table, so that the
// package bound from it carries the library's consistency token.
//
// Usage: zulsrvsp-bindgen <path of the bind file>. Exit 0 when written, 1
// on a usage error, 2 when the file cannot be written.
#include "sp_sections.h"

#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: zulsrvsp-bindgen <bind file>\n");
    return 1;
  }
  std::string text = sp::bind_file_text();
  FILE* f = fopen(argv[1], "w");
  if (!f) {
    perror(argv[1]);
    return 2;
  }
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  if (fclose(f) != 0) ok = false;
  if (!ok) {
    fprintf(stderr, "write %s failed\n", argv[1]);
    return 2;
  }
  return 0;
}
