#include "remote/remote_commands.h"

namespace tarvik::remote {

CommandKind Identify(char c1, char c2, char c3) {
  switch (c1) {
    case 'A': return {Cmd::Access, 8};
    case 'B': return c2 == 'I' ? CommandKind{Cmd::Binary, 1} : CommandKind{Cmd::Beep, 10};
    case 'C':
      if (c2 == 'A') return {Cmd::Capture, 2};
      if (c2 == 'D') return {Cmd::ChangeDir, 5};
      return {Cmd::Gateway, 21};
    case 'D': return c2 == 'E' ? CommandKind{Cmd::Delete, 6} : CommandKind{Cmd::Dir, 4};
    case 'E':
      if (c2 == 'S') return {Cmd::EndSend, -1};
      if (c2 == 'X') return {Cmd::Exit, 0};
      return {Cmd::Echo, 9};
    case 'G': return {Cmd::Get, 7};
    case 'H': return {Cmd::Help, 8};
    case 'I': return {Cmd::Info, 8};
    case 'L': return {Cmd::LastCon, 14};
    case 'M':
      if (c2 == 'I') return {Cmd::Minimise, 10};
      if (c2 == 'O') return {Cmd::Monitor, 13};
      return {Cmd::Mail, 11};
    case 'N': return {Cmd::Name, 14};
    case 'P':
      if (c2 == 'L') return {Cmd::Play, 10};
      if (c2 == 'O') return {Cmd::Ports, 17};
      if (c2 == 'S') return {Cmd::SaveDir, 6};
      if (c2 == 'W') return {Cmd::RemoteDir, 4};
      return {Cmd::Prompt, 12};
    case 'Q': return c2 == 'T' ? CommandKind{Cmd::Qth, 14} : CommandKind{Cmd::Quit, -1};
    case 'R':
      if (c2 == 'E') return {Cmd::Remark, 14};
      if (c2 == 'X') return {Cmd::XmodemReceive, -1};
      return {Cmd::Run, 23};
    case 'S':
      if (c2 == 'C') return {Cmd::SaveChange, 6};
      if (c2 == 'D') return c3 == 'E' ? CommandKind{Cmd::SaveDelete, 6} : CommandKind{Cmd::SaveList, 4};
      if (c2 == 'T') return {Cmd::Statistics, 15};
      if (c2 == 'X') return {Cmd::XmodemSend, -1};
      return {Cmd::Services, 22};
    case 'V': return {Cmd::Version, 8};
    default: return {Cmd::Unknown, -1};
  }
}

}  // namespace tarvik::remote
