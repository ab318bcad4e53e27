// GUESS, a service for visitors of the station: the station thinks of a
// number from 1 to 100 and the visitor guesses it, told "too low" or "too
// high" after each try. N starts a new game, Q leaves the service and gives
// the station's prompt back.
//
// A service library in its plainest form: it uses nothing of the program
// but the interface header. The program calls every entry point from its
// one user-interface thread, so the games need no lock; they live in the
// library as long as it is loaded, one per channel window.
#include <tarvik/service.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

namespace {

constexpr int kLowest = 1;
constexpr int kHighest = 100;
constexpr std::size_t kLineLimit = 80;

struct Game {
  int secret = 0;
  int tries = 0;
  std::string line;  // what came so far of the current line
};

struct Guess {
  TvkInitBlock program{};
  std::map<std::uint32_t, Game> games;
  std::mt19937 random{std::random_device{}()};

  void start(Game& game) {
    game.secret = std::uniform_int_distribution<int>(kLowest, kHighest)(random);
    game.tries = 0;
  }

  void send(std::uint32_t window, const std::string& text) {
    if (!program.sendToChannel) return;
    TvkDataBlock block{};
    block.window = window;
    const std::size_t n = std::min<std::size_t>(text.size(), TVK_DATA_CAPACITY);
    block.length = static_cast<std::int16_t>(n);
    std::memcpy(block.data, text.data(), n);
    program.sendToChannel(&block);
  }

  // One line of the visitor; false when the visitor leaves.
  bool answer(std::uint32_t window, Game& game, std::string line) {
    line.erase(0, line.find_first_not_of(" \t"));
    line.erase(line.find_last_not_of(" \t") + 1);
    if (line.empty()) return true;
    const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
    char text[TVK_DATA_CAPACITY];
    if (line.size() == 1 && first == 'Q') {
      send(window, "Thanks for playing. 73!\r");
      if (program.notify) program.notify(window, TVK_NOTIFY_END);
      return false;
    }
    if (line.size() == 1 && first == 'N') {
      start(game);
      send(window, "I think of a new number from 1 to 100. Your guess?\r");
      return true;
    }
    const bool digits = line.size() <= 3 && std::all_of(line.begin(), line.end(), [](char c) {
      return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    const int guess = digits ? std::stoi(line) : 0;
    if (guess < kLowest || guess > kHighest) {
      send(window, "Send a number from 1 to 100, N for a new game or Q to leave.\r");
      return true;
    }
    ++game.tries;
    if (guess < game.secret) {
      std::snprintf(text, sizeof text, "%d is too low.\r", guess);
    } else if (guess > game.secret) {
      std::snprintf(text, sizeof text, "%d is too high.\r", guess);
    } else {
      std::snprintf(text, sizeof text, "Right, it is %d! You needed %d %s. N plays again, Q leaves.\r", guess,
                    game.tries, game.tries == 1 ? "try" : "tries");
      start(game);
    }
    send(window, text);
    return true;
  }
};

Guess& State() {
  static Guess guess;
  return guess;
}

}  // namespace

extern "C" {

void iInitDll(const TvkInitBlock* init) {
  if (init) State().program = *init;
}

std::int32_t iVersion(void) { return 100; }

std::int32_t iOpenSrv(TvkOpenBlock* open) {
  if (!open) return 0;
  Guess& guess = State();
  Game& game = guess.games[open->window];
  game = Game{};
  guess.start(game);
  const std::string call(open->call, strnlen(open->call, TVK_CALL_SIZE));
  std::snprintf(open->text, TVK_TEXT_SIZE,
                "Hello %s! I think of a number from 1 to 100. Players now: %zu. Your guess? (Q leaves)",
                call.c_str(), guess.games.size());
  return 1;
}

void iSnd2Srv(const TvkDataBlock* data) {
  if (!data || data->length <= 0) return;
  Guess& guess = State();
  const auto found = guess.games.find(data->window);
  if (found == guess.games.end()) return;
  Game& game = found->second;
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(data->length), TVK_DATA_CAPACITY);
  for (std::size_t i = 0; i < n; ++i) {
    const char c = static_cast<char>(data->data[i]);
    if (c != '\r' && c != '\n') {
      if (game.line.size() < kLineLimit) game.line += c;
      continue;
    }
    const std::string line = std::move(game.line);
    game.line.clear();
    if (!guess.answer(data->window, game, line)) {
      guess.games.erase(found);
      return;
    }
  }
}

void iCloseSrv(std::uint32_t window) { State().games.erase(window); }

void iExitDll(void) {
  State().games.clear();
  State().program = TvkInitBlock{};
}

}  // extern "C"
