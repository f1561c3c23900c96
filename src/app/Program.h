#pragma once

#include "aids/HotKeys.h"
#include "aids/TypingEffect.h"
#include "aids/TypingIntoWindow.h"
#include "audio/AudioPlayer.h"
#include "document/Autosave.h"
#include "document/DocumentFiles.h"
#include "framework/RuntimeServices.h"
#include "speech/NarrationExport.h"
#include "speech/ReadAloud.h"
#include "speech/SpeechSession.h"

// The program-wide objects and values, created at start-up and released by the
// exit routine. Handlers reach the world only through `services`: the whole catalogue
// is held here because this is where every handler's roles are handed out.
struct Program {
  // Constructing the objects writes their bundled libraries: bass.dll, then speex.dll
  // and msc.dll.
  explicit Program(RuntimeServices& runtime) : services(runtime), player(runtime), speech(runtime) {
    document.scriptBeingTyped = [this]() -> std::optional<Text> {
      if (!IsTypingUnderWay(services, typing)) return std::nullopt;
      return typing.job.text;
    };
    document.endTyping = [this] { StopTyping(services, typing); };
    document.textSettled = [this] { DiscardAutosaveCopy(services, autosave); };
  }

  // The read-aloud driver over this program's objects.
  ReadAloud Reading() { return ReadAloud{services, speech, player, reading}; }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  RuntimeServices& services;
  AudioPlayer player;
  SpeechSession speech;
  ReadAloudState reading;
  std::shared_ptr<NarrationJob> narrationExport;  // the menu's export under way, if any
  DocumentState document;                         // CurrentFileName and how the file was encoded
  AutosaveState autosave;          // the copy of unsaved text kept while it is edited
  TypingState typing;              // TypingJob and TypingThread
  WindowTypingState windowTyping;  // typing into another program's window
  HotKeyState hotKeys;             // the keys chosen and their registrations
  bool closeConfirmed = false;     // "退出" has asked about changed text already
};
