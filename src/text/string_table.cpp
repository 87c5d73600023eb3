#include "text/string_table.h"

#include <array>

namespace kestal {
namespace {

constexpr std::array<const char*, kLangEntryCount> kDefaults = {
    "Toutes les images",
    "Images les plus courantes",
    "BMP",
    "RLE",
    "GIF",
    "JPEG",
    "PNG",
    "Targa",
    "TIFF",
    "Impossible d'ouvrir l'image dans le fichier \"%s\" !",
    "Impossible d'enregistrer l'image dans le fichier \"%s\" !",
    "Quirnel Sélection",
    "Quirnel Image",
    "Icône",
    "AVI",
    "Fichier de données invalide !",
    "%dx%d pixels",
    "Aperçu",
    "(Vide)",
    "RVBA (couche Alpha)",
    "Transparence",
    "Propriétés de l'image",
    "Gif animé",
    "&Oui",
    "&Non",
    "Ok",
    "Annuler",
    "Avertissement",
    "Erreur",
    "Information",
    "Confirmation",
    "Saisie",
    "RetArr",
    "Tab",
    "Echap",
    "Entrée",
    "Espace",
    "PagePréc",
    "PageSuiv",
    "Fin",
    "Origine",
    "Gauche",
    "Haut",
    "Droite",
    "Bas",
    "Ins",
    "Suppr",
    "Maj+",
    "Ctrl+",
    "Alt+",
    "octet",
    "octets",
    "Ko",
    "Mo",
    "Go",
};

std::array<std::string, kLangEntryCount> MakeDefaults() {
  std::array<std::string, kLangEntryCount> entries;
  for (int i = 0; i < kLangEntryCount; ++i) entries[i] = kDefaults[i];
  return entries;
}

std::array<std::string, kLangEntryCount>& Entries() {
  static std::array<std::string, kLangEntryCount> entries = MakeDefaults();
  return entries;
}

}  // namespace

const std::string& Lang(LangId id) { return Entries()[id]; }

void SetLang(LangId id, std::string text) { Entries()[id] = std::move(text); }

void ResetLangDefaults() { Entries() = MakeDefaults(); }

void ApplyStartupTexts() {
  SetLang(StrYes, "&Да ");
  SetLang(StrNo, "&No");
  SetLang(StrConfirmation, "Confirm");
  SetLang(StrInformation, "Информация ");
  SetLang(StrKeyEnter, "Enter");
  SetLang(StrAllImages, "All images");
  SetLang(StrCommonImages, "Common images");
}

}  // namespace kestal
