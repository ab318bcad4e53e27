// The statistics report of a link (LinkInfo item 0), read by operators,
// scripts and the remote service. Its layout is fixed to the byte, the
// misspelt "rvc" of the first column header included.

#include <algorithm>
#include <cstdio>

#include "ax25/link_window.h"

namespace tarvik::ax25 {

std::string LinkWindow::statisticsReport() const {
  const LinkStatistics& s = b_.statistics;
  std::string out;
  char line[128];
  auto add = [&out, &line](int n) {
    if (n > 0) out.append(line, static_cast<std::size_t>(std::min<int>(n, sizeof line - 1)));
  };
  out += "Connection\n";
  out += FormatCall(b_.remote) + " <-> " + FormatCall(b_.own) + "\n";
  out += b_.connectTime + " - " + nowText() + "\n\n";
  out += "Packet Statistik\n";
  out += "Typ    rvc   snd        Typ    rcv   snd\n";
  out += "----------------------------------------\n";
  add(std::snprintf(line, sizeof line, "RR    %4d  %4d       FRMR   %4d  %4d\n", s.receivedRR,
                    s.sentRR, s.receivedFRMR, s.sentFRMR));
  add(std::snprintf(line, sizeof line, "RNR   %4d  %4d       SABM   %4d  %4d\n", s.receivedRNR,
                    s.sentRNR, s.receivedSABM, s.sentSABM));
  add(std::snprintf(line, sizeof line, "REJ   %4d  %4d       UA     %4d  %4d\n", s.receivedREJ,
                    s.sentREJ, s.receivedUA, s.sentUA));
  add(std::snprintf(line, sizeof line, "I     %4d  %4d\n\n", s.receivedI, s.sentI));
  out += "Data         rcv        snd\n";
  out += "----------------------------------------\n";
  add(std::snprintf(line, sizeof line, "        %8ld   %8ld   Bytes\n", s.receivedBytes,
                    s.sentBytes));
  add(std::snprintf(line, sizeof line, "resend  %8ld   %8ld   Bytes\n", s.resentBytesReceived,
                    s.resentBytesSent));
  return out;
}

}  // namespace tarvik::ax25
