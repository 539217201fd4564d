// Writes figureloom.1 or alphaloom.1 at build time from the manual the
// tool's --help prints, so the two cannot drift apart.
#include <cstdio>
#include <fstream>
#include <string>

#include "alphaloom/manual.h"
#include "common/manual_roff.h"
#include "figureloom/manual.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: loom_manual_page figureloom|alphaloom <page.1>\n");
    return 2;
  }
  const std::string tool = argv[1];
  loom::Manual manual;
  if (tool == "figureloom") {
    manual = figureloom::manual();
  } else if (tool == "alphaloom") {
    manual = alphaloom::manual();
  } else {
    std::fprintf(stderr, "loom_manual_page: no manual for %s\n", tool.c_str());
    return 2;
  }
  std::ofstream page(argv[2], std::ios::binary | std::ios::trunc);
  page << loom::renderManualPage(manual);
  if (!page.flush()) {
    std::fprintf(stderr, "loom_manual_page: could not write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
