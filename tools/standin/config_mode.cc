#include "config_mode.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace standin {
namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

bool WriteReply(const std::string& path, const std::string& line) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    std::fprintf(stderr, "standin: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  bool ok = std::fputs((line + "\n").c_str(), file) >= 0;
  if (std::fclose(file) != 0) ok = false;
  if (!ok) std::fprintf(stderr, "standin: cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

bool IsConfigMode(int argc, char** argv) {
  return argc >= 2 && std::string_view(argv[1]) == "-config";
}

int RunConfigMode(int argc, char** argv) {
  ConfigRequest request;
  request.program = argc > 0 ? argv[0] : "standin";
  if (argc < 3) {
    std::fprintf(stderr, "standin: -config needs a reply file\n");
    return 64;
  }
  request.reply_file = argv[2];
  int i = 3;
  if (i + 1 < argc && std::string_view(argv[i]) == "-oper") {
    request.oper = argv[i + 1];
    i += 2;
  }
  for (; i < argc; ++i) {
    if (!request.options.empty()) request.options += ' ';
    request.options += argv[i];
  }

  std::string reply;
  const char* scripted = std::getenv("JOBRUNNER_STANDIN_CONFIG_REPLY");
  bool accepted = true;
  std::string edited;
  if (scripted != nullptr) {
    reply = scripted;
    ReplaceAll(reply, "$OPTIONS", request.options);
    ReplaceAll(reply, "$OPER", request.oper);
  } else if (HasDisplay() && AskWithDialog(argc, argv, request, accepted, edited)) {
    reply = accepted ? edited : "canceled";
  } else {
    reply = request.options;
  }
  return WriteReply(request.reply_file, reply) ? 0 : 74;
}

}  // namespace standin
