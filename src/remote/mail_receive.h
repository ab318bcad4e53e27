#pragma once
// Mail a connected station leaves with "//M": the part of a channel that
// registers it in the mail store and takes the station's lines into its
// text file until "NNNN", ahead of every other line taker. The station
// then hears "mail is ok" and the main window's MAIL control blinks.
//
// A connection that ends before "NNNN" leaves the mail incomplete; the
// store drops its line at the next start.
//
// So that no station can fill the disk, a mail's text may have 64 KiB: a
// longer one is taken up to "NNNN" but not stored, and the station hears
// "MAILBIG". While the operator has 100 unread mails, "//M" is answered
// "MAILNO".

#include <memory>
#include <string>

#include "channels/channel_part.h"
#include "channels/channel_window.h"
#include "core/app.h"

namespace tarvik::remote {

std::unique_ptr<channels::ChannelPart> MailReceivePart(core::App& app);

// Starts a mail from the channel's station with `subject`: the entry is
// made and its text file opened. False when the channel has no mail part
// or the store cannot take the mail.
bool StartStationMail(channels::ChannelWindow& channel, const std::string& subject);

}  // namespace tarvik::remote
