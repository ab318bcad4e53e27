// cnxenc: turns the readable source of a window description into the stored
// "M%04d.CNX" form the program reads: the text gets its checksum line
// "[//%x]" (any old one is replaced) and is uuencoded.
//
//   cnxenc data/forms/M1610.txt build/station-cnf/M1610.CNX
//   cnxenc -d build/station-cnf/M1610.CNX     (prints the decoded text)
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "ui/cnx_file.h"

namespace {

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string baseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "-d") {
    std::string file;
    if (!readFile(argv[2], file)) {
      std::cerr << "cnxenc: cannot read " << argv[2] << "\n";
      return 1;
    }
    const std::string text = tarvik::ui::DecodeCnx(file);
    std::cout << text;
    if (!tarvik::ui::DescriptionChecksumOk(text)) {
      std::cerr << "cnxenc: checksum line missing or wrong\n";
      return 2;
    }
    return 0;
  }
  if (argc != 3) {
    std::cerr << "usage: cnxenc SOURCE.txt OUTPUT.CNX | cnxenc -d FILE.CNX\n";
    return 1;
  }
  std::string source;
  if (!readFile(argv[1], source)) {
    std::cerr << "cnxenc: cannot read " << argv[1] << "\n";
    return 1;
  }
  const std::string out = argv[2];
  const std::string tmp = out + ".tmp";
  {
    std::ofstream o(tmp, std::ios::binary);
    o << tarvik::ui::EncodeCnx(tarvik::ui::SealDescription(source), baseName(out));
    if (!o) {
      std::cerr << "cnxenc: cannot write " << tmp << "\n";
      return 1;
    }
  }
  if (std::rename(tmp.c_str(), out.c_str()) != 0) {
    std::cerr << "cnxenc: cannot write " << out << "\n";
    return 1;
  }
  return 0;
}
