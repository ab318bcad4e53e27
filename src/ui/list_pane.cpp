#include "ui/list_pane.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/atomic_file.h"
#include "ui/form.h"
#include "ui/toolkit/drawing.h"

namespace tarvik::ui {

void ListPane::Attach(std::string file) {
  file_ = std::move(file);
  selected_ = -1;
  Redraw();
}

std::vector<std::pair<std::string, std::size_t>> ListPane::Lines() const {
  std::vector<std::pair<std::string, std::size_t>> lines;
  std::ifstream in(file_, std::ios::binary);
  std::string line;
  std::size_t offset = 0;
  while (std::getline(in, line)) {
    const std::size_t start = offset;
    offset += line.size() + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of('\r') == std::string::npos) continue;
    lines.emplace_back(line, start);
  }
  return lines;
}

std::optional<std::string> ListPane::Selected() const {
  const auto lines = Lines();
  if (selected_ < 0 || static_cast<std::size_t>(selected_) >= lines.size()) return std::nullopt;
  return lines[static_cast<std::size_t>(selected_)].first;
}

bool ListPane::Append(const std::string& line) {
  std::string contents = ReadAll();
  if (!contents.empty() && contents.find('\n') != line.size()) return false;
  contents += line + "\n";
  const bool written = core::WriteFileAtomically(file_, contents);
  Redraw();
  return written;
}

bool ListPane::Replace(const std::function<bool(const std::string&)>& matches, const std::string& line) {
  for (const auto& [text, offset] : Lines())
    if (matches(text) && text.size() == line.size()) {
      std::string contents = ReadAll();
      contents.replace(offset, line.size(), line);
      const bool written = core::WriteFileAtomically(file_, contents);
      Redraw();
      return written;
    }
  return false;
}

void ListPane::DeleteSelected() {
  const auto lines = Lines();
  if (selected_ < 0 || static_cast<std::size_t>(selected_) >= lines.size()) return;
  const auto& [text, offset] = lines[static_cast<std::size_t>(selected_)];
  std::string contents = ReadAll();
  contents.replace(offset, text.size(), std::string(text.size(), '\r'));
  core::WriteFileAtomically(file_, contents);
  selected_ = -1;
  Redraw();
}

void ListPane::onEvent(Event& event) {
  switch (event.type) {
    case EventType::Create:
      toolkit().setLinesProvider(id(), [this] {
        std::vector<std::string> out;
        for (auto& [text, offset] : Lines()) out.push_back(std::move(text));
        return out;
      });
      break;
    case EventType::Mouse:
      if (const auto* m = event.as<MouseRecord>()) {
        if (m->action == MouseAction::Down || m->action == MouseAction::DoubleClick) {
          const int row = m->where.y / kListRowHeight;
          selected_ = row < static_cast<int>(Lines().size()) ? row : -1;
          Redraw();
          const int activation = m->action == MouseAction::DoubleClick ? 1 : 0;
          toolkit().sendUser(toolkit().parentOf(id()), control_, m->button * 10 + activation);
        }
      }
      break;
    case EventType::Update: Paint(); break;
    default: break;
  }
}

void ListPane::Redraw() {
  if (id() == kNoWindow) return;
  if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
}

// The rows of the display file in columns, the selected row highlighted.
void ListPane::Paint() {
  Canvas* cv = toolkit().canvas(id());
  if (!cv) return;
  DrawTools tools;
  tools.pen = tools.brush = kWhite;
  cv->setTools(tools);
  cv->drawRect({0, 0, cv->height(), cv->width()});
  cv->setFont(FontSpec{});
  const int ascent = cv->metrics().ascent;
  std::vector<std::vector<std::string>> rows;
  std::vector<int> widths;
  for (const auto& line : Lines()) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.first.find('\t', start)) != std::string::npos; start = tab + 1)
      fields.push_back(line.first.substr(start, tab - start));
    if (fields.empty()) fields.push_back(line.first);  // no key column
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (widths.size() <= i) widths.push_back(0);
      widths[i] = std::max(widths[i], cv->textWidth(fields[i]));
    }
    rows.push_back(std::move(fields));
  }
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const int top = static_cast<int>(r) * kListRowHeight;
    if (top > cv->height()) break;
    const bool selected = static_cast<int>(r) == selected_;
    tools.pen = tools.brush = selected ? rgb(0, 90, 180) : kWhite;
    tools.foreColor = selected ? kWhite : kBlack;
    cv->setTools(tools);
    cv->drawRect({top, 0, top + kListRowHeight, cv->width()});
    int x = 4;
    for (std::size_t i = 0; i < rows[r].size(); ++i) {
      cv->drawText(x, top + ascent + 1, rows[r][i]);
      x += widths[i] + 16;
    }
  }
}

std::string ListPane::ReadAll() const {
  std::ifstream in(file_, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void InstallListPanes(FormRuntime& forms) {
  if (forms.paneFactory(ControlType::ListControl)) return;
  forms.setPaneFactory(ControlType::ListControl,
                       [](Form&, const ControlDescription& c) { return std::make_unique<ListPane>(c.id); });
}

}  // namespace tarvik::ui
