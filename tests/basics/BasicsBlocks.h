// Settings blocks of the General plug-in's actions spelled out byte by
// byte, independent of the plug-in's own writer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace basicsblocks {

using Bytes = std::vector<uint8_t>;

inline Bytes Dw(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

// Characters and the terminating zero, no length.
inline Bytes Chars(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.push_back(0);
  return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A string element: dword length + 1, the characters, a zero.
inline Bytes Str(const std::string& s) { return Cat({Dw(static_cast<uint32_t>(s.size() + 1)), Chars(s)}); }

// "Show a message": two flags, two zero bytes, two stored lengths, texts.
inline Bytes MessageBlock(bool show, bool sound, const std::string& message, const std::string& wave) {
  return Cat({{uint8_t(show), uint8_t(sound), 0, 0},
              Dw(show ? static_cast<uint32_t>(message.size() + 1) : 0),
              Dw(sound ? static_cast<uint32_t>(wave.size() + 1) : 0), show ? Chars(message) : Bytes(),
              sound ? Chars(wave) : Bytes()});
}

// "Run a program/Open a document": three stored lengths, window mode, wait
// flag, the three texts.
inline Bytes RunBlock(const std::string& target, const std::string& params, const std::string& dir, uint32_t mode,
                      uint32_t wait) {
  return Cat({Dw(static_cast<uint32_t>(target.size() + 1)), Dw(static_cast<uint32_t>(params.size() + 1)),
              Dw(static_cast<uint32_t>(dir.size() + 1)), Dw(mode), Dw(wait), Chars(target), Chars(params),
              Chars(dir)});
}

// "Run other Job": job ID and the wait flag.
inline Bytes RunJobBlock(int32_t id, bool wait) { return Cat({Dw(static_cast<uint32_t>(id)), {uint8_t(wait)}}); }

// "Question": text, buttons (0 OK & Cancel, 1 Yes & No), abort when (0
// Cancel/No, 1 OK/Yes), automatic choice (0 none, 1 Cancel/No, 2 OK/Yes)
// and seconds.
inline Bytes QuestionBlock(const std::string& text, uint32_t buttons, uint32_t abortWhen, uint32_t autoChoice,
                           uint32_t seconds) {
  return Cat({Str(text), Dw(buttons), Dw(abortWhen), Dw(autoChoice), Dw(seconds)});
}

}  // namespace basicsblocks
