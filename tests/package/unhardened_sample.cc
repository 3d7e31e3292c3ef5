// A program built without the hardening flags, for the hardening test to show that it notices
// each missing mark: it copies into a stack array and formats, which the hardened build protects.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  char copy[64];
  std::strncpy(copy, argv[0], sizeof copy - 1);
  copy[sizeof copy - 1] = '\0';
  std::printf("%s %d\n", copy, argc);
  return 0;
}
