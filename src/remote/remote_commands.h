#pragma once
// The table of remote commands: a command is known by its first one to
// three letters, and each has the position of its switch in a level's
// ACCESS string (-1: never tested, such as Q and ES, which every station
// may use).

namespace tarvik::remote {

enum class Cmd {
  Access, Binary, Beep, Capture, ChangeDir, Gateway, Delete, Dir, EndSend, Exit, Echo, Get, Help, Info, LastCon,
  Minimise, Monitor, Mail, Name, Play, Ports, SaveDir, RemoteDir, Prompt, Qth, Quit, Remark, XmodemReceive, Run,
  SaveChange, SaveDelete, SaveList, Statistics, XmodemSend, Services, Version, Unknown
};

struct CommandKind {
  Cmd cmd;
  int access;
};

// The command of a word's first three letters (upper case; '\0' where the
// word is shorter).
CommandKind Identify(char c1, char c2, char c3);

}  // namespace tarvik::remote
