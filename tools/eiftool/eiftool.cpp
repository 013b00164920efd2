// eiftool: the vendor's tool for setup descriptions. Its subcommands arrive with the
// description reader; for now it only tells what it is.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  std::puts("usage: eiftool <command> [options]\n\nPrepares and checks setup descriptions.");
  return argc > 1 && std::strcmp(argv[1], "--help") != 0 ? 2 : 0;
}
