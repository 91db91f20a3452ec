#include "platform/locale_info.h"

#include <langinfo.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>

namespace tabrix {

DateFormat dateFormatFromPattern(const std::string& pattern) {
  DateFormat format;
  int dayAt = -1, monthAt = -1, yearAt = -1;
  bool separatorSeen = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      char conversion = pattern[++i];
      // Modifiers such as %Ey or %Od precede the conversion letter.
      if ((conversion == 'E' || conversion == 'O') && i + 1 < pattern.size()) conversion = pattern[++i];
      if (conversion == 'd' || conversion == 'e') dayAt = static_cast<int>(i);
      if (conversion == 'm') monthAt = static_cast<int>(i);
      if (conversion == 'Y' || conversion == 'y') yearAt = static_cast<int>(i);
      continue;
    }
    if (!separatorSeen && std::ispunct(static_cast<unsigned char>(c))) {
      format.separator = c;
      separatorSeen = true;
    }
  }
  if (dayAt < 0 || monthAt < 0 || yearAt < 0) return format;
  if (yearAt < monthAt && yearAt < dayAt) format.order = '2';
  else if (dayAt < monthAt) format.order = '1';
  else format.order = '0';
  return format;
}

DateFormat localeDateFormat() { return dateFormatFromPattern(nl_langinfo(D_FMT)); }

CodePagePair codePagesForLocale(const std::string& localeName) {
  std::string lang = localeName.substr(0, localeName.find_first_of("_.@"));
  std::string region;
  if (size_t us = localeName.find('_'); us != std::string::npos)
    region = localeName.substr(us + 1, localeName.find_first_of(".@", us) - us - 1);
  struct Entry {
    const char* lang;
    int ansi, oem;
  };
  static const Entry kTable[] = {
      {"en", 1252, 437}, {"de", 1252, 850}, {"fr", 1252, 850}, {"es", 1252, 850},
      {"it", 1252, 850}, {"pt", 1252, 850}, {"nl", 1252, 850}, {"da", 1252, 850},
      {"sv", 1252, 850}, {"nb", 1252, 850}, {"nn", 1252, 850}, {"no", 1252, 850},
      {"fi", 1252, 850}, {"is", 1252, 850}, {"ca", 1252, 850}, {"eu", 1252, 850},
      {"gl", 1252, 850}, {"ga", 1252, 850}, {"ru", 1251, 866}, {"uk", 1251, 866},
      {"bg", 1251, 866}, {"be", 1251, 866}, {"pl", 1250, 852}, {"cs", 1250, 852},
      {"hu", 1250, 852}, {"sk", 1250, 852}, {"sl", 1250, 852}, {"hr", 1250, 852},
      {"ro", 1250, 852}, {"el", 1253, 737}, {"tr", 1254, 857}, {"he", 1255, 862},
      {"ar", 1256, 720}, {"lt", 1257, 775}, {"lv", 1257, 775}, {"et", 1257, 775},
      {"ja", 932, 932},  {"ko", 949, 949},  {"th", 874, 874},  {"vi", 1258, 1258},
  };
  if (lang == "zh") {
    if (region == "TW" || region == "HK") return {950, 950};
    return {936, 936};
  }
  for (const Entry& e : kTable)
    if (lang == e.lang) return {e.ansi, e.oem};
  return {};
}

CodePagePair environmentCodePages() {
  const char* ctype = std::setlocale(LC_CTYPE, nullptr);
  CodePagePair pair = codePagesForLocale(ctype ? ctype : "C");
  if (const char* ansi = std::getenv("TABRIX_ANSI_CP"); ansi && std::atoi(ansi) > 0) pair.ansi = std::atoi(ansi);
  if (const char* oem = std::getenv("TABRIX_OEM_CP"); oem && std::atoi(oem) > 0) pair.oem = std::atoi(oem);
  return pair;
}

}  // namespace tabrix
