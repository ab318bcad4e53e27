#pragma once
// Sending a file uuencoded: the file sender's encoder for the operator's
// SNDBIN and the remote command GB. The begin line "begin 0666 NAME", data
// lines of 45 bytes, as many whole lines as fit into a block of 516
// characters, and "end [%04x]" with the checksum over all of them (see
// uuencode.h). Every line ends with a carriage return.

#include <memory>

#include "channels/file_sender.h"

namespace tarvik::remote {

std::shared_ptr<channels::FileEncoder> UuencodeEncoder();

}  // namespace tarvik::remote
