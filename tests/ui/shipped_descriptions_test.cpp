// The window descriptions that ship in data/forms: the names, state names
// and STRINGS keys the program's windows rely on, checked against the files
// through the description parser and by building each one into a headless
// form.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "form_fixture.h"
#include "ui/cnx_file.h"
#include "ui/description.h"
#include "ui/form.h"

namespace tarvik::ui {
namespace {

namespace fs = std::filesystem;

// What kind of control the owner expects behind a name.
enum class Want { Button, Check, Radio, Field, Fixed, List, Fifo, Drop, Any, Menu /* a menu item only */ };

struct Name {
  const char* name;
  int id;
  Want want;
};
struct Key {
  const char* key;
  const char* conversions;  // the printf conversions the owner fills in, in order
};
struct Contract {
  int number;
  std::vector<Name> names;
  std::vector<std::pair<const char*, int>> states;
  std::vector<Key> strings;
};

using W = Want;

// The contract table: per window number the names with their symbolic ids,
// the state names with their variables, and the STRINGS keys with the
// values the owner formats into them. Names marked "chosen" are the
// descriptions' own where the owning window leaves the name open.
const std::vector<Contract>& Contracts() {
  static const std::vector<Contract> table = {
      {1010,  // channel window
       {{"EXIT", 0, W::Button}, {"HOLD", 1, W::Check}, {"SND", 2, W::Check}, {"SNDBIN", 3, W::Button},
        {"RCV", 4, W::Check}, {"STATION", 5, W::Button}, {"CHECK", 6, W::Check},
        {"STATISTIK", 7, W::Button}, {"7BITGR", 8, W::Radio}, {"7BITUS", 9, W::Radio},
        {"8BITIBM", 10, W::Radio}, {"8BITOEM", 11, W::Radio}, {"UNTRANS", 12, W::Radio},
        {"AUTO7PL", 13, W::Check}, {"AUTOBIN", 14, W::Check}, {"REMOTE", 15, W::Check},
        {"INFO", 16, W::Check}, {"EXEC", 17, W::Check}, {"MAIL", 18, W::Button},
        {"PASSWD", 19, W::Button}, {"LISTE", 20, W::Fifo}, {"PROMPT", 21, W::Fixed},
        {"INPUT", 22, W::Field}, {"SYS_A7P", 23, W::Button},
        {"STATUS", 24, W::Fixed}},  // chosen: the peer state field
       {{"BOX", 0}, {"SQUEUE", 1}, {"CON", 2}, {"HOLD", 3}, {"TXOV", 4}, {"2NDCON", 5},
        {"ISAUTO7PL", 6}, {"DAMA", 7}, {"SCRIPT", 8}, {"SNDMAIL", 9}},
       {{"CONNECTING", "s"}, {"CONNECTED", "s"}, {"DISCONNECT", "s"}, {"ENDED", "s"}, {"CONCON", "s"},
        {"CONFAIL", "s"}, {"CONBUS", "s"}, {"CONREC", "s"}, {"CAPT", ""}, {"SNDTXT", ""},
        {"SNDBIN", ""}, {"SCRIPT", ""}, {"ACCESS", "s"}, {"BINON", ""}, {"BINOFF", ""},
        {"CAOPEN", "s"}, {"CAERR", "s"}, {"CANO", ""}, {"CACLOSE", "s"}, {"ILLCD", "s"},
        {"ILLCMD", "s"}, {"CONINV", "ss"}, {"CONSET", "s"}, {"CONNO", ""}, {"ILLCHAN", "ds"},
        {"ILLPORT", "ds"}, {"DIRONLY", "s"}, {"DIRNOTF", "s"}, {"GETNOTF", "s"},
        {"LASTCON", "s"}, {"MAILEND", ""}, {"MAILNO", ""}, {"NAME", "s"}, {"QTH", "s"},
        {"PROON", ""}, {"PROOFF", ""}, {"NOTAVAIL", "s"}}},
      {1030,  // connect dialog
       {{"OK", 1, W::Button}, {"STATION", 2, W::Field}, {"QRG", 3, W::Field}, {"PORT", 4, W::Drop},
        {"CHAN", 5, W::Drop}, {"EXIT", 0, W::Button}},
       {},
       {}},
      {1040,  // toolbox of the main window
       {{"SYSHILFE", 1, W::Button}, {"CONNECT", 2, W::Button}, {"MONITOR", 3, W::Button},
        {"STATLIST", 4, W::Button}, {"HEARD", 5, W::Button}, {"MAIL", 6, W::Check},
        {"MYBBS", 7, W::Button}, {"MECH", 8, W::Button}, {"LOGBUCH", 9, W::Button},
        {"CONMAN", 10, W::Button}, {"CONFIG", 11, W::Button}, {"SWL", 12, W::Check},
        {"PING", 13, W::Button}, {"TIMERLIST", 14, W::Button}, {"MY2BBS", 15, W::Menu},
        {"NEWSTATION", 16, W::Menu}, {"CHAN1", 20, W::Button}, {"CHAN2", 21, W::Button},
        {"CHAN3", 22, W::Button}, {"CHAN4", 23, W::Button}, {"CHAN5", 24, W::Button},
        {"CHAN6", 25, W::Button}, {"CHAN7", 26, W::Button}, {"CHAN8", 27, W::Button},
        {"TILE", 28, W::Menu}, {"CASCADE", 29, W::Menu}},
       {},
       {{"BARFREE", ""}, {"BARCONNECTING", ""}, {"BARCONNECTED", ""}, {"BARDISCONNECTING", ""},
        {"BARUNREAD", ""}}},
      {1050,  // monitor
       {{"MONITOR", 1, W::Fifo}, {"SAVE", 2, W::Check}, {"IONLY", 3, W::Check}, {"OONLY", 4, W::Check},
        {"NOBIN", 5, W::Check}},
       {},
       {{"TITLE", ""}, {"CAPT", ""}}},
      {1060,  // station list
       {{"ANLEGEN", 1, W::Button}, {"SUCHEN", 2, W::Button}, {"DEL", 3, W::Button},
        {"LISTE", 4, W::List}, {"CON", 5, W::Button}},
       {{"SEL", 0}},
       {}},
      {1070,  // station form
       {{"STATION", 1, W::Field}, {"NAME", 2, W::Field}, {"QTH", 3, W::Field}, {"TEXT1", 4, W::Field},
        {"TEXT2", 5, W::Field}, {"ANM", 6, W::Field}, {"LCONNECT", 7, W::Field}, {"HOME", 8, W::Field},
        {"L0", 9, W::Radio}, {"L1", 10, W::Radio}, {"L2", 11, W::Radio}, {"L3", 12, W::Radio},
        {"L4", 13, W::Radio}, {"L5", 14, W::Radio}, {"DIGI", 15, W::Check}, {"BOX", 16, W::Drop},
        {"OK", 17, W::Button}, {"CONNECT", 18, W::Button}, {"PASSWD", 19, W::Button}},
       {{"CREATE", 0}, {"SHOW", 1}, {"UPDATE", 2}, {"SEARCH", 3}},
       {{"ANLEGEN", ""}, {"SUCHEN", ""}, {"AENDERN", ""}, {"ANTITLE", ""}, {"SUTITLE", ""},
        {"TITLE", "s"}}},  // chosen: the title of a found station
      {1080,  // heard list
       {{"LISTE", 1, W::Fifo}, {"SAVE", 2, W::Check}, {"OPEN", 3, W::Button}},  // chosen: OPEN
       {},
       {{"TITLE", ""}, {"CAPT", ""}}},
      {1090,  // conversation watch
       {{"LISTE", 1, W::Fifo}, {"RCV_TXT", 2, W::Check}, {"STATION", 3, W::Button},
        {"FLOW", 4, W::Check}, {"7BITGR", 7, W::Radio}, {"7BITUS", 8, W::Radio},
        {"8BITIBM", 9, W::Radio}, {"8BITOEM", 10, W::Radio}, {"UNTRANS", 11, W::Radio}},
       {},
       {{"CAPT", ""}}},
      {1100,  // link statistics
       {{"RRSND", 1, W::Fixed}, {"RRRCV", 2, W::Fixed}, {"RNRSND", 3, W::Fixed},
        {"RNRRCV", 4, W::Fixed}, {"REJSND", 5, W::Fixed}, {"REJRCV", 6, W::Fixed},
        {"ISND", 7, W::Fixed}, {"IRCV", 8, W::Fixed}, {"FRMRSND", 9, W::Fixed},
        {"FRMRRCV", 10, W::Fixed}, {"SABMSND", 11, W::Fixed}, {"SABMRCV", 12, W::Fixed},
        {"UASND", 13, W::Fixed}, {"UARCV", 14, W::Fixed}, {"BSND", 15, W::Fixed},
        {"BRCV", 16, W::Fixed}, {"BRESND", 17, W::Fixed}, {"BRERCV", 18, W::Fixed},
        {"CON", 19, W::Fixed}, {"CONT", 20, W::Fixed}},
       {},
       {}},
      {1120,  // mail list
       {{"READ", 1, W::Button}, {"WRITE", 2, W::Button}, {"REPLY", 3, W::Button},
        {"DEL", 4, W::Button}, {"LISTE", 5, W::List}},
       {{"SEL", 0}},
       {}},
      {1140,  // frame generator
       {{"SEND", 1, W::Button}, {"CALLFROM", 2, W::Field}, {"CALLTO", 3, W::Field},
        {"FRAME", 4, W::Drop}, {"NR", 5, W::Field}, {"NS", 6, W::Field}, {"DATA", 7, W::Field},
        {"POLL", 8, W::Radio}, {"FINAL", 9, W::Radio}, {"CMD", 10, W::Radio}, {"MSG", 11, W::Radio},
        {"CHAN", 12, W::Field}},
       {},
       {}},
      {1150,  // 7PLUS capture (ids chosen)
       {{"FILENAME", 1, W::Fixed}, {"BYTES", 2, W::Fixed}, {"MAXBYTES", 3, W::Fixed},
        {"RATE", 4, W::Fixed}},
       {},
       {}},
      {1160,  // file send progress (ids chosen)
       {{"FILENAME", 1, W::Fixed}, {"BYTES", 2, W::Fixed}, {"MAXBYTES", 3, W::Fixed},
        {"RATE", 4, W::Fixed}},
       {},
       {}},
      {1170,  // logbook
       {{"STATION", 1, W::Button}, {"CON", 2, W::Button}, {"LOAD", 3, W::Button},
        {"ARCHIVE", 4, W::Button}, {"RELOAD", 5, W::Button}, {"LISTE", 6, W::List},
        {"EXIT", 0, W::Button}},
       {{"SEL", 0}, {"ARC", 1}},
       {{"LOADARC", ""}}},
      {1180,  // logbook archive date
       {{"OK", 1, W::Button}, {"DATUM", 2, W::Field}},
       {{"DATOK", 0}},
       {}},
      {1190,  // connection manager
       {{"DISCON", 1, W::Button}, {"TCPCON", 2, W::Button}, {"COMCON", 3, W::Button},
        {"CHANCONF", 4, W::Button}, {"CONFSAVE", 5, W::Button}, {"CONFDEL", 6, W::Button},
        {"LISTE", 7, W::List}},
       {{"SEL", 0}, {"TNC", 1}, {"CHG", 2}, {"TCPIP", 3}},
       {}},
      {1200,  // check list (ids chosen)
       {{"READ", 1, W::Button}, {"FILE", 2, W::Button}, {"DEL", 3, W::Button}, {"LISTE", 4, W::List}},
       {{"SEL", 0}, {"READING", 1}},
       {}},
      {1210,  // TCP/IP connect form
       {{"CONNECT", 1, W::Button}, {"HOST", 2, W::Field}, {"PORT", 3, W::Field}, {"EXIT", 0, W::Button}},
       {{"CON", 0}},
       {}},
      {1220,  // serial connect form
       {{"CONNECT", 1, W::Button}, {"DEVICE", 2, W::Drop}, {"BAUD", 3, W::Field},
        {"TNC", 4, W::Check}, {"CON", 5, W::Field}, {"ANSWER", 6, W::Field},
        {"CTITEL", 7, W::Fixed}, {"ATITEL", 8, W::Fixed}, {"EXIT", 0, W::Button}},
       {{"CON", 0}, {"ISTNC", 1}},
       {{"INI", ""}, {"DEINI", ""}, {"CON", ""}, {"ANSW", ""}}},
      {1230,  // radio channel form
       {{"C0", 1, W::Radio}, {"C1", 2, W::Radio}, {"C2", 3, W::Radio}, {"C3", 4, W::Radio},
        {"C4", 5, W::Radio}, {"C5", 6, W::Radio}, {"C6", 7, W::Radio}, {"C7", 8, W::Radio},
        {"OK", 9, W::Button}, {"CLR", 10, W::Button}, {"DEF", 11, W::Button},
        {"APPLY", 12, W::Button}, {"TITLE", 13, W::Field}, {"QRG", 14, W::Field},
        {"WINDOW", 15, W::Field}, {"PACLEN", 16, W::Field}, {"T1", 17, W::Field},
        {"T2", 18, W::Field}, {"T3", 19, W::Field}, {"RETRY", 20, W::Field},
        {"TXDELAY", 21, W::Field}, {"TXTAIL", 22, W::Field}, {"PERSIST", 23, W::Field},
        {"SLOTTIME", 24, W::Field}},
       {{"COM", 0}, {"TNC", 1}, {"TCPIP", 3}, {"DEF", 4}},
       {}},
      {1240,  // own station
       {{"OK", 1, W::Button}, {"MYCALL", 2, W::Field}, {"SSID0", 3, W::Check},
        {"SSID1", 4, W::Check}, {"SSID2", 5, W::Check}, {"SSID3", 6, W::Check},
        {"SSID4", 7, W::Check}, {"SSID5", 8, W::Check}, {"SSID6", 9, W::Check},
        {"SSID7", 10, W::Check}, {"SSID8", 11, W::Check}, {"SSID9", 12, W::Check},
        {"SSID10", 13, W::Check}, {"SSID11", 14, W::Check}, {"SSID12", 15, W::Check},
        {"SSID13", 16, W::Check}, {"SSID14", 17, W::Check}, {"SSID15", 18, W::Check},
        {"HOMEBOX", 19, W::Field}, {"ACCESS", 20, W::Button}, {"BOXTYPEN", 21, W::Button},
        {"DIR", 22, W::Button}, {"TCP", 23, W::Button}, {"MYNAME", 24, W::Field},
        {"MY2BBSPATH", 25, W::Field}, {"PROMPT", 26, W::Field}, {"EDITOR", 27, W::Field},
        {"SAVEPATH", 28, W::Field}, {"LOGPATH", 29, W::Field}, {"PUBPATH", 30, W::Field},
        {"EXPPATH", 31, W::Field}},
       {},
       {}},
      {1250,  // port form
       {{"OK", 1, W::Button}, {"TITLE", 2, W::Field}, {"DEVICE", 3, W::Field}, {"INI", 4, W::Field},
        {"DEINI", 5, W::Field}, {"CTITEL", 6, W::Fixed}, {"ATITEL", 7, W::Fixed}},
       {{"TNC", 0}},
       {{"INI", ""}, {"DEINI", ""}, {"CON", ""}, {"ANSW", ""}}},
      {1260,  // access levels
       {{"OK", 1, W::Button}, {"HOMEDIR", 2, W::Field}, {"L0", 3, W::Radio}, {"L1", 4, W::Radio},
        {"L2", 5, W::Radio}, {"L3", 6, W::Radio}, {"L4", 7, W::Radio}, {"L5", 8, W::Radio},
        {"C0", 9, W::Check}, {"C1", 10, W::Check}, {"C2", 11, W::Check}, {"C3", 12, W::Check},
        {"C4", 13, W::Check}, {"C5", 14, W::Check}, {"C6", 15, W::Check}, {"C7", 16, W::Check},
        {"C8", 17, W::Check}, {"C9", 18, W::Check}, {"C10", 19, W::Check}, {"C11", 20, W::Check},
        {"C12", 21, W::Check}, {"C13", 22, W::Check}, {"C14", 23, W::Check}, {"C15", 24, W::Check},
        {"C16", 25, W::Check}, {"C17", 26, W::Check}, {"C18", 27, W::Check}, {"C19", 28, W::Check},
        {"C20", 29, W::Check}, {"C21", 30, W::Check}, {"C22", 31, W::Check}, {"C23", 32, W::Check}},
       {{"L0", 0}},
       {}},
      {1270,  // TCP/IP switch
       {{"OK", 1, W::Button}, {"TCP", 2, W::Check}, {"PORT", 3, W::Field}},
       {{"ON", 0}},
       {}},
      {1280,  // ping
       {{"OK", 1, W::Button}, {"STATION", 2, W::Field}, {"QRG", 3, W::Fixed}, {"PORT", 4, W::Drop},
        {"CHAN", 5, W::Drop}, {"RESPONSE", 6, W::Fifo}},
       {},
       {}},
      {1290,  // mail send window
       {{"SEND", 1, W::Button}, {"EDIT", 2, W::Button}, {"TO", 3, W::Field},
        {"SUBJECT", 4, W::Field}, {"CC", 5, W::Field}},
       {{"EDITED", 0}},
       {}},
      {1300,  // timer list editor (ids chosen)
       {{"MON", 1, W::Button}, {"TUE", 2, W::Button}, {"WEN", 3, W::Button}, {"THU", 4, W::Button},
        {"FRI", 5, W::Button}, {"SAT", 6, W::Button}, {"SUN", 7, W::Button}, {"NEW", 8, W::Button},
        {"EDIT", 9, W::Button}, {"DEL", 10, W::Button}, {"SAVE", 11, W::Button},
        {"LOAD", 12, W::Button}, {"LISTE", 13, W::List}},
       {{"SEL", 0}, {"CHANGED", 1}},
       {{"TITLE", "s"}}},  // the day shown
      {1310,  // timer entry (ids chosen)
       {{"START", 1, W::Field}, {"END", 2, W::Field}, {"PERIODIC", 3, W::Check},
        {"COMMAND", 4, W::Field}, {"OK", 5, W::Button}, {"SCRIPT", 6, W::Button}},
       {},
       {}},
      {1330,  // password form
       {{"OK", 1, W::Button}, {"PWDFILE", 2, W::Fixed}, {"PWDTYP", 3, W::Drop},
        {"PASSWORD", 4, W::Field}},
       {},
       {}},
      {1600, {{"VERSION", 1, W::Fixed}}, {}, {}},  // about box: the program's own version
      {1610,
       {{"JA", 1, W::Button}, {"ZEILE1", 4, W::Fixed}, {"ZEILE2", 5, W::Fixed}, {"ZEILE3", 6, W::Fixed}},
       {},
       {}},
      {1620,
       {{"JA", 1, W::Button}, {"NEIN", 2, W::Button}, {"ZEILE1", 4, W::Fixed},
        {"ZEILE2", 5, W::Fixed}, {"ZEILE3", 6, W::Fixed}},
       {},
       {}},
      {1630,
       {{"JA", 1, W::Button}, {"NEIN", 2, W::Button}, {"ABBRUCH", 3, W::Button},
        {"ZEILE1", 4, W::Fixed}, {"ZEILE2", 5, W::Fixed}, {"ZEILE3", 6, W::Fixed}},
       {},
       {}},
      {1640,
       {{"JA", 1, W::Button}, {"ZEILE1", 4, W::Fixed}, {"ZEILE2", 5, W::Fixed}, {"ZEILE3", 6, W::Fixed}},
       {},
       {}},
  };
  return table;
}

const Contract* ContractOf(int number) {
  for (const Contract& c : Contracts())
    if (c.number == number) return &c;
  return nullptr;
}

fs::path FormsDir() { return fs::path(TARVIK_SOURCE_DIR) / "data" / "forms"; }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string SourceName(int number) {
  char name[16];
  std::snprintf(name, sizeof name, "M%04d.txt", number);
  return name;
}

// The description sources in data/forms by number.
std::map<int, fs::path> Sources() {
  std::map<int, fs::path> out;
  const std::regex pattern("M([0-9]{4})\\.txt");
  for (const auto& entry : fs::directory_iterator(FormsDir())) {
    std::smatch m;
    const std::string name = entry.path().filename().string();
    if (std::regex_match(name, m, pattern)) out[std::stoi(m[1])] = entry.path();
  }
  return out;
}

// Resolvers from a contract; every name asked that neither knows is noted,
// so that a misspelt SYS name, menu action or condition operand shows.
struct RecordingResolvers {
  explicit RecordingResolvers(const Contract& c) : contract(c) {}
  Resolvers get() {
    Resolvers r;
    r.names = [this](std::string_view n, int& out) {
      for (const Name& name : contract.names)
        if (n == name.name && name.id > 0) return out = name.id, true;
      unknown.insert(std::string(n));
      return false;
    };
    r.states = [this](std::string_view n, int& out) {
      for (const auto& [state, number] : contract.states)
        if (n == state) return out = number, true;
      return false;
    };
    return r;
  }
  const Contract& contract;
  std::set<std::string> unknown;
};

bool KindFits(ControlType kind, Want want) {
  switch (want) {
    case Want::Button: return kind == ControlType::PushButton || kind == ControlType::IconButton;
    case Want::Check: return kind == ControlType::CheckBox || kind == ControlType::IconButton;
    case Want::Radio: return kind == ControlType::RadioButton;
    case Want::Field: return IsEditField(kind);
    case Want::Fixed: return kind == ControlType::FixedText;
    case Want::List: return kind == ControlType::ListControl;
    case Want::Fifo: return kind == ControlType::TextControl;
    case Want::Drop: return kind == ControlType::DropDownList || kind == ControlType::ListBox;
    case Want::Any: return true;
    case Want::Menu: return false;
  }
  return false;
}

// The printf conversions of a format, "%%" left out: "Port %d: %s" gives "ds".
std::string Conversions(const std::string& format) {
  std::string out;
  const std::regex conversion("%[-+ #0]*[0-9]*(?:\\.[0-9]+)?(?:l|h)?([diouxXcs%])");
  for (auto it = std::sregex_iterator(format.begin(), format.end(), conversion); it != std::sregex_iterator(); ++it) {
    const char c = (*it)[1].str()[0];
    if (c != '%') out += c;
  }
  return out;
}

// Where a control lies in a client area of w x h (edges below 1 of list
// and text controls counted from the right or bottom).
struct Box {
  int left, top, right, bottom;
};
Box Place(const ControlDescription& c, int w, int h) {
  Box b{c.pos.x, c.pos.y, c.pos.x + c.pos.w, c.pos.y + c.pos.h};
  const bool list = c.kind == ControlType::ListControl || c.kind == ControlType::TextControl ||
                    c.kind == ControlType::ListBox;
  // Lists and panes grow both ways with the window, text fields in width.
  if ((list || IsEditField(c.kind)) && c.pos.w < 1) b.right = w + c.pos.w;
  if (list && c.pos.h < 1) b.bottom = h + c.pos.h;
  return b;
}

// Window numbers the program opens: every description must be there.
TEST(ShippedDescriptions, EveryWindowNumberHasASourceAndEverySourceAContract) {
  const auto sources = Sources();
  for (const Contract& c : Contracts())
    EXPECT_TRUE(sources.count(c.number)) << SourceName(c.number) << " is missing";
  for (const auto& [number, path] : sources)
    EXPECT_NE(ContractOf(number), nullptr) << path << " has no entry in the contract table";
}

// The text as the language reads it: lines of at most 127 characters with
// their line end, sections found by keyword, no checksum line (the encoder
// adds it).
TEST(ShippedDescriptions, SourcesStayWithinTheLanguage) {
  static const char* keywords[] = {"WINDOW", "MENU", "CONTROL", "STRINGS", "DEFAULTS", "GRAPHICS"};
  for (const auto& [number, path] : Sources()) {
    SCOPED_TRACE(path.filename().string());
    const std::string text = ReadFile(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find("[//"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    std::size_t start = 0;
    int lineNo = 0;
    while (start < text.size()) {
      const std::size_t end = text.find('\n', start);
      const std::string line = text.substr(start, end - start);
      start = end + 1;
      ++lineNo;
      EXPECT_LT(line.size() + 1, kDescriptionLineLength) << "line " << lineNo << " is too long";
      if (line.empty() || line[0] != '[') continue;
      // A section line names exactly one keyword ("[SUBMENU" holds MENU).
      int found = 0;
      for (const char* k : keywords) found += line.find(k) != std::string::npos;
      const bool submenu = line.rfind("[SUBMENU", 0) == 0;
      EXPECT_EQ(found, 1) << "line " << lineNo << ": " << line;
      if (submenu) {
        EXPECT_EQ(line.find("WINDOW"), std::string::npos);
      }
    }
    // Sealed and encoded, the text decodes with a right checksum.
    const std::string sealed = SealDescription(text);
    EXPECT_TRUE(DescriptionChecksumOk(DecodeCnx(EncodeCnx(sealed, "M.CNX"))));
  }
}

// The encoded descriptions the build writes for the station are the sealed
// sources.
TEST(ShippedDescriptions, BuildWritesTheEncodedDescriptions) {
  const fs::path dir = fs::path(TARVIK_BINARY_DIR) / "station-cnf";
  for (const auto& [number, path] : Sources()) {
    char name[16];
    std::snprintf(name, sizeof name, "M%04d.CNX", number);
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(dir / name));
    const std::string decoded = DecodeCnx(ReadFile(dir / name));
    EXPECT_TRUE(DescriptionChecksumOk(decoded));
    EXPECT_EQ(decoded, SealDescription(ReadFile(path)));
  }
}

TEST(ShippedDescriptions, NamesStatesAndStringsOfTheContractAreThere) {
  for (const Contract& contract : Contracts()) {
    SCOPED_TRACE(contract.number);
    const std::string text = ReadFile(FormsDir() / SourceName(contract.number));
    RecordingResolvers rec(contract);
    const FormDescription d = ParseDescription(text, rec.get());
    EXPECT_TRUE(rec.unknown.empty()) << "unknown name " << *rec.unknown.begin();

    for (const Name& n : contract.names) {
      const IdMapEntry& m = d.idMap[static_cast<std::size_t>(n.id)];
      if (n.want == Want::Menu) {
        EXPECT_GE(m.menuEntry, 0) << n.name << " has no menu item";
        continue;
      }
      ASSERT_GE(m.control, 0) << n.name << " has no control";
      const ControlDescription& c = d.controls[static_cast<std::size_t>(m.control)];
      EXPECT_EQ(c.symbolicName, n.name);
      EXPECT_TRUE(KindFits(c.kind, n.want)) << n.name << " is of the wrong kind";
      if (n.want != Want::Fixed && c.kind != ControlType::FixedText) {
        EXPECT_TRUE(IsFocusKind(c.kind));
      }
    }
    // Each symbolic name is used by one control only.
    std::map<std::string, int> uses;
    for (const ControlDescription& c : d.controls)
      if (!c.symbolicName.empty()) ++uses[c.symbolicName];
    for (const auto& [name, count] : uses) EXPECT_EQ(count, 1) << name;

    for (const Key& k : contract.strings) {
      const auto value = LookupString(d, k.key);
      ASSERT_TRUE(value.has_value()) << k.key;
      EXPECT_FALSE(value->empty()) << k.key;
      EXPECT_EQ(Conversions(*value), k.conversions) << k.key << "=" << *value;
      // Looked up as "the first line containing the key", the key's own
      // line is found as well.
      const auto first = std::find_if(d.strings.begin(), d.strings.end(),
                                      [&](const std::string& s) { return s.find(k.key) != std::string::npos; });
      ASSERT_NE(first, d.strings.end());
      EXPECT_EQ(first->substr(0, first->find('=')), k.key);
    }
  }
}

// Look and feel shared by all descriptions: one font, a place and a size,
// controls inside the window without overlapping, labels that are no
// fields, one control per mnemonic.
TEST(ShippedDescriptions, LayoutIsConsistent) {
  for (const Contract& contract : Contracts()) {
    SCOPED_TRACE(contract.number);
    RecordingResolvers rec(contract);
    const FormDescription d = ParseDescription(ReadFile(FormsDir() / SourceName(contract.number)), rec.get());
    const WindowHeader& w = d.window;
    EXPECT_FALSE(w.title.empty());
    for (const char* option : {"POS", "SIZE", "HEADER", "MODAL", "BKG", "FONT"})
      EXPECT_EQ(w.title.find(option), std::string::npos) << "the title holds " << option;
    ASSERT_TRUE(w.font.has_value());
    EXPECT_EQ(*w.font, (FontDescription{"helvetica", 10, false, false}));
    ASSERT_TRUE(w.pos.has_value());
    const int width = w.pos->w, height = w.pos->h;
    EXPECT_GE(width, 200);
    EXPECT_GE(height, 60);

    std::vector<Box> boxes;
    std::map<char, std::string> mnemonics;
    for (const ControlDescription& c : d.controls) {
      SCOPED_TRACE(c.label);
      if (IsEditField(c.kind) || c.kind == ControlType::DropDownList) {
        EXPECT_TRUE(c.title.empty());
      }
      if (c.kind == ControlType::FixedText) {
        EXPECT_EQ(c.title.find('&'), std::string::npos);
      }
      if (c.kind == ControlType::ListControl && !c.headerKey.empty()) {
        EXPECT_TRUE(LookupString(d, c.headerKey).has_value()) << "header " << c.headerKey;
      }
      if (c.mnemonic && c.kind != ControlType::FixedText && !c.invisible) {
        EXPECT_FALSE(mnemonics.count(c.mnemonic))
            << c.label << " and " << mnemonics[c.mnemonic] << " share the mnemonic " << c.mnemonic;
        mnemonics[c.mnemonic] = c.label;
      }
      if (c.invisible) continue;
      const Box b = Place(c, width, height);
      EXPECT_GE(b.left, 0);
      EXPECT_GE(b.top, 0);
      EXPECT_LE(b.right, width);
      EXPECT_LE(b.bottom, height);
      EXPECT_LT(b.left, b.right);
      EXPECT_LT(b.top, b.bottom);
      for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Box& o = boxes[i];
        const bool apart = b.right <= o.left || o.right <= b.left || b.bottom <= o.top || o.bottom <= b.top;
        EXPECT_TRUE(apart) << c.label << " overlaps an earlier control";
      }
      boxes.push_back(b);
      if (c.kind == ControlType::PushButton && c.id != kActionExit) {
        EXPECT_EQ(c.pos.h, 24) << "button height";
      }
    }
    for (const auto& [name, value] : d.defaults) {
      const bool known = std::any_of(d.controls.begin(), d.controls.end(),
                                     [&](const ControlDescription& c) { return c.label == name; });
      EXPECT_TRUE(known) << "DEFAULTS names " << name;
    }
  }
}

// Every description built into a window on the headless backend: no
// checksum complaint, a toolkit control or pane behind every name.
class ShippedForms : public testing::FormFixture {
 protected:
  WindowId open(const Contract& contract, RecordingResolvers& rec) {
    describe(contract.number, ReadFile(FormsDir() / SourceName(contract.number)));
    FormRequest r;
    r.number = contract.number;
    r.resolvers = rec.get();
    r.parent = task;
    return runtime.open(std::make_unique<Form>(runtime, std::move(r)));
  }
  Form& form(WindowId w) { return *tk.findAs<Form>(w); }
  int ctl(WindowId w, const char* name) { return tk.controlByName(w, name).value_or(kNoControl); }
};

TEST_F(ShippedForms, EachBuildsWithItsNamedControls) {
  for (const Contract& contract : Contracts()) {
    SCOPED_TRACE(contract.number);
    RecordingResolvers rec(contract);
    const WindowId w = open(contract, rec);
    ASSERT_NE(w, kNoWindow);
    Form& f = form(w);
    EXPECT_TRUE(f.descriptionFound());
    EXPECT_TRUE(messages.empty()) << "message " << (messages.empty() ? 0 : messages[0].number);
    for (const Name& n : contract.names) {
      SCOPED_TRACE(n.name);
      if (n.want == Want::Fixed || n.want == Want::Menu) continue;  // drawn by the form; menu items only
      if (n.want == Want::List || n.want == Want::Fifo) {
        EXPECT_NE(f.GetCtlWindow(n.id), kNoWindow);
        EXPECT_NE(f.GetCtlWindow(n.id), w);
      } else {
        EXPECT_NE(f.controlOf(n.id), kNoControl);
      }
    }
    tk.destroy(w);
    messages.clear();
  }
}

// Conditions in the descriptions follow the state variables as the
// owners set them.
TEST_F(ShippedForms, ConditionsFollowTheOwnersStates) {
  struct Case {
    int number;
    const char* state;
    const char* control;
    bool enabledAt0, enabledAt1;
  };
  const Case cases[] = {
      {1060, "SEL", "CON", false, true},        {1060, "SEL", "DEL", false, true},
      {1070, "SEARCH", "NAME", true, false},    {1070, "SEARCH", "L3", true, false},
      {1120, "SEL", "READ", false, true},       {1120, "SEL", "REPLY", false, true},
      {1170, "SEL", "STATION", false, true},    {1170, "ARC", "ARCHIVE", true, false},
      {1170, "ARC", "RELOAD", false, true},     {1180, "DATOK", "OK", false, true},
      {1190, "TCPIP", "TCPCON", false, true},   {1190, "SEL", "DISCON", false, true},
      {1200, "READING", "DEL", true, false},    {1210, "CON", "HOST", true, false},
      {1220, "CON", "CONNECT", true, false},    {1220, "CON", "DEVICE", true, false},
      {1230, "TNC", "TXDELAY", false, true},    {1230, "DEF", "CLR", false, true},
      {1260, "L0", "HOMEDIR", true, false},     {1260, "L0", "C23", true, false},
      {1270, "ON", "PORT", false, true},        {1290, "EDITED", "SEND", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.number) + " " + c.state + " " + c.control);
    const Contract* contract = ContractOf(c.number);
    ASSERT_NE(contract, nullptr);
    RecordingResolvers rec(*contract);
    const WindowId w = open(*contract, rec);
    Form& f = form(w);
    int variable = -1;
    for (const auto& [name, number] : contract->states)
      if (std::string_view(name) == c.state) variable = number;
    ASSERT_GE(variable, 0);
    const int control = ctl(w, c.control);
    ASSERT_NE(control, kNoControl);
    f.SetState(variable, 0);
    EXPECT_EQ(tk.controlEnabled(w, control), c.enabledAt0);
    f.SetState(variable, 1);
    EXPECT_EQ(tk.controlEnabled(w, control), c.enabledAt1);
    tk.destroy(w);
  }
}

// Save in the connection manager needs a selected line with changes.
TEST_F(ShippedForms, PortsAreSavedOnlyWhenSelectedAndChanged) {
  const Contract* contract = ContractOf(1190);
  RecordingResolvers rec(*contract);
  const WindowId w = open(*contract, rec);
  Form& f = form(w);
  const int save = ctl(w, "CONFSAVE");
  f.SetState(0, 1);  // SEL
  EXPECT_FALSE(tk.controlEnabled(w, save));
  f.SetState(2, 1);  // CHG
  EXPECT_TRUE(tk.controlEnabled(w, save));
  f.SetState(0, 0);
  EXPECT_FALSE(tk.controlEnabled(w, save));
}

}  // namespace
}  // namespace tarvik::ui
