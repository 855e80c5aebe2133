#include "modlanguage.h"

#include "common/basictext.h"
#include "stringresources.h"

#include <QLocale>

namespace modLanguage {

namespace {

struct NamedIdentifier {
    const char *name;
    int identifier;
    QLocale::Language language;
    QLocale::Territory territory;
};

// The identifiers say which locale a language's display name is taken from.
constexpr NamedIdentifier Identifiers[] = {{"SCHINESE", 2052, QLocale::Chinese, QLocale::China},
    {"TCHINESE", 3076, QLocale::Chinese, QLocale::HongKong}, {"CZECH", 1029, QLocale::Czech, QLocale::CzechRepublic},
    {"DANISH", 1030, QLocale::Danish, QLocale::Denmark}, {"DUTCH", 1043, QLocale::Dutch, QLocale::Netherlands},
    {"ENGLISH", 2057, QLocale::English, QLocale::UnitedKingdom}, {"FINNISH", 1035, QLocale::Finnish, QLocale::Finland},
    {"FRENCH", 1036, QLocale::French, QLocale::France}, {"GERMAN", 1031, QLocale::German, QLocale::Germany},
    {"GREEK", 1032, QLocale::Greek, QLocale::Greece}, {"HEBREW", 1037, QLocale::Hebrew, QLocale::Israel},
    {"ITALIAN", 1040, QLocale::Italian, QLocale::Italy}, {"JAPANESE", 1041, QLocale::Japanese, QLocale::Japan},
    {"KOREAN", 1042, QLocale::Korean, QLocale::SouthKorea},
    {"NORWEGIAN", 1044, QLocale::NorwegianBokmal, QLocale::Norway}, {"POLISH", 1045, QLocale::Polish, QLocale::Poland},
    {"PORTUGUESE", 2070, QLocale::Portuguese, QLocale::Portugal}, {"RUSSIAN", 1049, QLocale::Russian, QLocale::Russia},
    {"SLOVAK", 1051, QLocale::Slovak, QLocale::Slovakia}, {"SPANISH", 11274, QLocale::Spanish, QLocale::Argentina},
    {"SWEDISH", 1053, QLocale::Swedish, QLocale::Sweden}, {"HUNGARIAN", 1038, QLocale::Hungarian, QLocale::Hungary}};

struct CodePageCharset {
    const char *codePage;
    int charset;
};

constexpr CodePageCharset Charsets[] = {{"932", 128}, {"936", 134}, {"949", 129}, {"950", 136}, {"1250", 238},
    {"1251", 204}, {"1252", 0}, {"1253", 161}, {"1254", 162}, {"1255", 177}, {"1256", 178}, {"1257", 186}};

} // namespace

int fontCharsetForCodePage(const QString &codePage)
{
    for (const auto &entry : Charsets) {
        if (codePage == QLatin1String(entry.codePage))
            return entry.charset;
    }
    return 0;
}

int languageIdentifier(const QString &name)
{
    for (const auto &entry : Identifiers) {
        if (name == QLatin1String(entry.name))
            return entry.identifier;
    }
    return 0;
}

QString languageDisplayName(int identifier)
{
    for (const auto &entry : Identifiers) {
        if (entry.identifier == identifier)
            return QLocale::languageToString(entry.language) + QLatin1String(" (")
                + QLocale::territoryToString(entry.territory) + QLatin1Char(')');
    }
    return {};
}

void chooseCharacterSet(modMain::State &state, const QString &ansiCodePage)
{
    // The code page arrives as a NUL-terminated buffer on some systems; only what precedes it counts.
    state.FontCharset = fontCharsetForCodePage(ansiCodePage.section(QChar(0), 0, 0));
}

void buildLanguageList(modMain::State &state, const StringResources &resources)
{
    state.LanguageCount = int(basicText::leadingNumber(resources.string(650).value_or(QString()))) - 1;
    state.LanguageCount = qBound(-1, state.LanguageCount, int(state.LanguageTable.size()) - 1);
    for (int k = 0; k <= state.LanguageCount; ++k) {
        const QString name = resources.string(600 + k).value_or(QString());
        if (name.isEmpty())
            continue;
        const int identifier = languageIdentifier(name);
        state.LanguageTable[k] = {name, identifier != 0 ? languageDisplayName(identifier) : name};
    }
}

void detectDefaultLanguage(modMain::State &state, const QString &localeLanguageName)
{
    const QString localeName = localeLanguageName.toUpper();
    state.LanguageName = QStringLiteral("ENGLISH");
    for (int k = 0; k <= state.LanguageCount; ++k) {
        const QString &name = state.LanguageTable.at(k).name;
        if (!name.isEmpty() && localeName.size() >= name.size()
            && basicText::equalsIgnoringCase(localeName.left(name.size()), name)) {
            state.LanguageName = name;
            state.LanguageIndex = k;
            return;
        }
    }
}

void findLanguageIndex(modMain::State &state)
{
    for (int k = 0; k <= state.LanguageCount; ++k) {
        if (state.LanguageTable.at(k).name.contains(state.LanguageName))
            state.LanguageIndex = k;
    }
}

void loadInterfaceTexts(modMain::State &state, const StringResources &resources)
{
    const bool english = state.LanguageName == QLatin1String("ENGLISH");
    for (int n = 1; n <= modMain::UiTextCount; ++n) {
        std::optional<QString> text = resources.string(english ? n : state.LanguageIndex * 1000 + n);
        if (!text)
            text = resources.string(n);
        state.UiText[std::size_t(n)] = text.value_or(QString());
    }
}

int rowOfDisplayName(const modMain::State &state, const QString &displayName)
{
    for (int k = 0; k <= state.LanguageCount; ++k) {
        if (state.LanguageTable.at(k).displayName == displayName)
            return k;
    }
    return -1;
}

} // namespace modLanguage
