// Stand-ins for the seven conversion tools, for the demo and the tests.
// One program; what it does depends on the name it was started under.
//
// The protobuf file it writes is a small text file:
//   drelk-demo-protobuf 1
//   kind save|profile
//   source NAME
//   size BYTES
//   checksum SUM
//   data HEX
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char *program = "standin";

int fail(const std::string &message) {
  std::cerr << program << ": " << message << "\n";
  return 1;
}

bool readFile(const std::string &name, std::string *data) {
  std::ifstream in(name, std::ios::binary);
  if (!in)
    return false;
  std::ostringstream all;
  all << in.rdbuf();
  *data = all.str();
  return !in.bad();
}

bool writeFile(const std::string &name, const std::string &data) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << data;
  out.close();
  return static_cast<bool>(out);
}

unsigned long checksum(const std::string &data) {
  unsigned long sum = 5381;
  for (unsigned char c : data)
    sum = (sum * 33 + c) & 0xffffffffUL;
  return sum;
}

std::string protobufName(const std::string &name) {
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == 0)
    return name + ".proto";
  return name.substr(0, dot) + ".proto";
}

struct Protobuf {
  std::string kind, source, data;
  unsigned long sum = 0;
};

std::string encode(const Protobuf &p) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "drelk-demo-protobuf 1\nkind " + p.kind + "\nsource " + p.source +
                    "\nsize " + std::to_string(p.data.size()) + "\nchecksum " +
                    std::to_string(checksum(p.data)) + "\ndata ";
  for (unsigned char c : p.data) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out + "\n";
}

bool decode(const std::string &text, Protobuf *p, std::string *why) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != "drelk-demo-protobuf 1") {
    *why = "not a protobuf file";
    return false;
  }
  std::map<std::string, std::string> fields;
  while (std::getline(in, line)) {
    size_t blank = line.find(' ');
    fields[line.substr(0, blank)] = blank == std::string::npos ? "" : line.substr(blank + 1);
  }
  const std::string &hex = fields["data"];
  if (hex.size() % 2 != 0) {
    *why = "damaged data";
    return false;
  }
  p->data.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned value;
    if (sscanf(hex.c_str() + i, "%2x", &value) != 1) {
      *why = "damaged data";
      return false;
    }
    p->data += static_cast<char>(value);
  }
  p->kind = fields["kind"];
  p->source = fields["source"];
  p->sum = std::stoul("0" + fields["checksum"]);
  if (p->sum != checksum(p->data) || std::to_string(p->data.size()) != fields["size"]) {
    *why = "checksum mismatch";
    return false;
  }
  return true;
}

// save or profile -> protobuf
int toProtobuf(const std::vector<std::string> &args, const std::string &kind) {
  if (args.size() != 1)
    return fail("usage: " + std::string(program) + " " + kind + "-file");
  Protobuf p;
  p.kind = kind;
  p.source = args[0];
  if (!readFile(args[0], &p.data))
    return fail(args[0] + ": " + strerror(errno));
  std::string out = protobufName(args[0]);
  if (!writeFile(out, encode(p)))
    return fail(out + ": cannot write");
  std::cout << "Read " << kind << " " << args[0] << " (" << p.data.size() << " bytes)\n"
            << "Wrote protobuf " << out << "\n";
  return 0;
}

bool loadProtobuf(const std::string &name, const std::string &kind, Protobuf *p, int *rc) {
  std::string text, why;
  if (!readFile(name, &text)) {
    *rc = fail(name + ": " + strerror(errno));
    return false;
  }
  if (!decode(text, p, &why)) {
    *rc = fail(name + ": " + why);
    return false;
  }
  if (p->kind != kind) {
    *rc = fail(name + " holds a " + p->kind + ", not a " + kind);
    return false;
  }
  return true;
}

// protobuf -> save or profile, written over the original file
int fromProtobuf(const std::vector<std::string> &args, const std::string &kind) {
  if (args.size() != 2)
    return fail("usage: " + std::string(program) + " protobuf-file original-" + kind);
  Protobuf p;
  int rc;
  if (!loadProtobuf(args[0], kind, &p, &rc))
    return rc;
  std::string old;
  bool had = readFile(args[1], &old);
  if (had && old == p.data) {
    std::cout << args[1] << " already holds what " << args[0] << " holds; left as it is\n";
    return 0;
  }
  if (!writeFile(args[1], p.data))
    return fail(args[1] + ": cannot write");
  std::cout << "Read protobuf " << args[0] << "\n"
            << (had ? "Updated " : "Wrote ") << kind << " " << args[1] << " (" << p.data.size()
            << " bytes)\n";
  return 0;
}

// Prints what a protobuf file holds, the key=value lines of the data included.
int showInformation(const std::vector<std::string> &args, const std::string &kind) {
  if (args.size() != 1)
    return fail("usage: " + std::string(program) + " protobuf-file");
  Protobuf p;
  int rc;
  if (!loadProtobuf(args[0], kind, &p, &rc))
    return rc;
  std::cout << (kind == "save" ? "Save" : "Profile") << " information in " << args[0] << "\n"
            << "  made from: " << p.source << "\n"
            << "  size:      " << p.data.size() << " bytes\n"
            << "  checksum:  " << p.sum << "\n";
  std::istringstream in(p.data);
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos)
      std::cout << "  " << line.substr(0, eq) << ": " << line.substr(eq + 1) << "\n";
  }
  return 0;
}

// Rewrites a save's platform line: input save, output save, from code, to code.
int convertPlatform(const std::vector<std::string> &args) {
  static const char *const codes[] = {"pc", "ps4", "ps5", "xbox", "switch"};
  if (args.size() != 4)
    return fail("usage: Trevolandix input-save output-save from-code to-code");
  for (size_t i = 2; i < 4; i++) {
    bool known = false;
    for (const char *code : codes)
      known = known || args[i] == code;
    if (!known)
      return fail("unknown platform code '" + args[i] + "' (pc, ps4, ps5, xbox, switch)");
  }
  std::string data;
  if (!readFile(args[0], &data))
    return fail(args[0] + ": " + strerror(errno));
  std::string from = "platform=" + args[2] + "\n", to = "platform=" + args[3] + "\n";
  size_t at = data.find(from);
  if (at == std::string::npos)
    return fail(args[0] + " is not a " + args[2] + " save");
  data.replace(at, from.size(), to);
  if (!writeFile(args[1], data))
    return fail(args[1] + ": cannot write");
  std::cout << "Converted " << args[0] << " (" << args[2] << ") to " << args[1] << " ("
            << args[3] << ")\n";
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const char *slash = strrchr(argv[0], '/');
  program = slash != nullptr ? slash + 1 : argv[0];
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string name = program;
  if (name == "Marquenisto")
    return toProtobuf(args, "save");
  if (name == "Quobrenatil")
    return fromProtobuf(args, "save");
  if (name == "Kelvadrosimune")
    return toProtobuf(args, "profile");
  if (name == "Zandrumevolask")
    return fromProtobuf(args, "profile");
  if (name == "Hollimbrix")
    return showInformation(args, "save");
  if (name == "Wystrenoculam")
    return showInformation(args, "profile");
  if (name == "Trevolandix")
    return convertPlatform(args);
  return fail("started under an unknown name");
}
