#include "store/mail_capture.h"

#include <unistd.h>

namespace tarvik::store {

std::optional<std::string> HeaderAddressee(std::string_view line, const std::vector<std::string>& fromTexts,
                                           std::string_view addressee) {
  if (addressee.empty()) return std::nullopt;
  for (const std::string& from : fromTexts) {
    if (from.empty() || !line.starts_with(from)) continue;
    std::string_view rest = line.substr(from.size());
    const std::size_t text = rest.find_first_not_of(' ');
    if (text == 0 || text == std::string_view::npos) continue;
    rest.remove_prefix(text);
    if (!rest.starts_with(addressee)) continue;
    rest = rest.substr(0, rest.find('('));
    std::string named = MailFieldText(rest, kMailAddresseeLimit);
    while (!named.empty() && named.back() == ' ') named.pop_back();
    return named;
  }
  return std::nullopt;
}

MailCapture::~MailCapture() = default;

bool MailCapture::Begin(MailStore store, const NewMail& mail, std::string addressee,
                        std::vector<std::string> fromTexts, std::size_t limit) {
  Abandon();
  limit_ = limit;
  size_ = 0;
  tooLong_ = false;
  file_.reset(std::fopen(mail.path.c_str(), "wb"));
  if (!file_) return false;
  store_.emplace(std::move(store));
  number_ = mail.number;
  lines_ = 0;
  addressee_ = std::move(addressee);
  fromTexts_ = std::move(fromTexts);
  return true;
}

MailCapture::Result MailCapture::Line(std::string_view line) {
  if (!active()) return Result::Ended;
  if (line.starts_with("NNNN")) {
    if (!tooLong_) return End() ? Result::Ended : Result::Failed;
    drop();
    return Result::Dropped;
  }
  if (tooLong_) return Result::Stored;
  if (line.size() + 1 > limit_ - size_) {
    // Given up: the text goes now, the entry when the mail has ended.
    tooLong_ = true;
    std::fflush(file_.get());
    if (::ftruncate(::fileno(file_.get()), 0) != 0) {
      // The text file stays as far as it got; the mail leaves the store all the same.
    }
    std::rewind(file_.get());
    return Result::TooLong;
  }
  size_ += line.size() + 1;
  std::fwrite(line.data(), 1, line.size(), file_.get());
  std::fputc('\n', file_.get());
  std::fflush(file_.get());
  if (lines_ < kMailHeaderLines) {
    ++lines_;
    if (const auto named = HeaderAddressee(line, fromTexts_, addressee_)) store_->SetAddressee(number_, *named);
  }
  return Result::Stored;
}

std::optional<int> MailCapture::End() {
  if (!active()) return std::nullopt;
  if (tooLong_) {
    drop();
    return std::nullopt;
  }
  const bool written = std::fflush(file_.get()) == 0 && ::fsync(::fileno(file_.get())) == 0 && !std::ferror(file_.get());
  file_.reset();
  const int number = number_;
  number_ = -1;
  // A text that did not reach the disk stays incomplete rather than be
  // offered as a whole mail.
  if (!written) return std::nullopt;
  return store_->SetStatus(number, kMailNew);
}

void MailCapture::drop() {
  file_.reset();
  store_->Delete(number_);
  number_ = -1;
  tooLong_ = false;
}

void MailCapture::Abandon() {
  file_.reset();
  number_ = -1;
}

}  // namespace tarvik::store
