#ifndef CONSOLELANGUAGE_H
#define CONSOLELANGUAGE_H

// The console speaks Chinese unless English is chosen. The English is built into
// the core library, so that the window and bench-ctl load the same translation.
namespace ConsoleLanguage {

constexpr char englishTranslation[] = ":/i18n/bench-console_en.qm";

} // namespace ConsoleLanguage

#endif // CONSOLELANGUAGE_H
