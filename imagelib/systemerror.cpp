#include "systemerror.h"

#include <cerrno>
#include <cstring>

#include "langstr.h"

namespace {

struct TSystemErrorEntry {
  int ErrorNumber;
  TPGLangStrEntry Text;
};

// The reasons a user meets with files; others keep the system's own words.
const TSystemErrorEntry SystemErrors[] = {
    {ENOENT,
     {0,
      {"No such file or directory", "Datei oder Verzeichnis nicht gefunden", "Aucun fichier ou dossier de ce type",
       "Bestand of map bestaat niet", "No existe el archivo o el directorio", ""}}},
    {EACCES,
     {0,
      {"Permission denied", "Keine Berechtigung", "Permission refusée", "Toegang geweigerd", "Permiso denegado", ""}}},
    {EPERM,
     {0,
      {"Operation not permitted", "Vorgang nicht zulässig", "Opération non autorisée", "Bewerking niet toegestaan",
       "Operación no permitida", ""}}},
    {EISDIR, {0, {"Is a directory", "Ist ein Verzeichnis", "Est un dossier", "Is een map", "Es un directorio", ""}}},
    {ENOTDIR,
     {0,
      {"Not a directory", "Ist kein Verzeichnis", "N'est pas un dossier", "Is geen map", "No es un directorio", ""}}},
    {ENOSPC,
     {0,
      {"No space left on device", "Kein Speicherplatz mehr auf dem Gerät",
       "Plus d'espace disponible sur le périphérique", "Geen ruimte meer over op apparaat",
       "No queda espacio en el dispositivo", ""}}},
    {EDQUOT,
     {0,
      {"Disk quota exceeded", "Plattenkontingent überschritten", "Quota de disque dépassé", "Schijfquotum overschreden",
       "Cuota de disco excedida", ""}}},
    {EROFS,
     {0,
      {"Read-only file system", "Dateisystem ist nur lesbar", "Système de fichiers en lecture seule",
       "Alleen-lezen bestandssysteem", "Sistema de archivos de solo lectura", ""}}},
    {ENAMETOOLONG,
     {0,
      {"File name too long", "Dateiname zu lang", "Nom de fichier trop long", "Bestandsnaam te lang",
       "Nombre de archivo demasiado largo", ""}}},
    {ELOOP,
     {0,
      {"Too many levels of symbolic links", "Zu viele Ebenen symbolischer Links",
       "Trop de niveaux de liens symboliques", "Te veel niveaus van symbolische koppelingen",
       "Demasiados niveles de enlaces simbólicos", ""}}},
    {EFBIG,
     {0,
      {"File too large", "Datei zu groß", "Fichier trop volumineux", "Bestand te groot", "Archivo demasiado grande",
       ""}}},
    {EMFILE,
     {0,
      {"Too many open files", "Zu viele offene Dateien", "Trop de fichiers ouverts", "Te veel open bestanden",
       "Demasiados archivos abiertos", ""}}},
    {EIO,
     {0,
      {"Input/output error", "Ein-/Ausgabefehler", "Erreur d'entrée/sortie", "Invoer-/uitvoerfout",
       "Error de entrada/salida", ""}}},
    {ENOMEM,
     {0,
      {"Not enough memory", "Nicht genug Speicher", "Mémoire insuffisante", "Onvoldoende geheugen",
       "Memoria insuficiente", ""}}},
};

const TPGLangStrEntry OtherSystemError = {
    0, {"", "Systemfehler %S1", "Erreur système %S1", "Systeemfout %S1", "Error del sistema %S1", ""}};

// Each fills "%S1 failed" (entry 31), so each reads as its language's subject.
const TPGLangStrEntry Operations[] = {
    {0,
     {"Opening \"%S1\"", "Öffnen von \"%S1\"", "l'ouverture de \"%S1\"", "Openen van \"%S1\"", "La apertura de \"%S1\"",
      ""}},
    {0,
     {"Writing \"%S1\"", "Schreiben von \"%S1\"", "l'écriture de \"%S1\"", "Schrijven van \"%S1\"",
      "La escritura de \"%S1\"", ""}},
    {0,
     {"Stream write", "Schreiben in den Datenstrom", "l'écriture dans le flux", "Schrijven naar de stroom",
      "La escritura en el flujo", ""}},
};

}  // namespace

std::string SystemErrorText(int ErrorNumber) {
  for (const TSystemErrorEntry& e : SystemErrors)
    if (e.ErrorNumber == ErrorNumber) return LangText(e.Text);
  const std::string other = LangText(OtherSystemError);
  // English, the locale the library runs in, is what the system speaks.
  if (other.empty()) return std::strerror(ErrorNumber);
  return SubstitutePlaceholder(other, "%S1", std::to_string(ErrorNumber));
}

std::string FileFailureText(TFileOperation Operation, const std::string& FileName, int ErrorNumber) {
  const std::string what = SubstitutePlaceholder(LangText(Operations[Operation]), "%S1", FileName);
  std::string text = LangStr1(31, what);
  if (ErrorNumber != 0) text += ": " + SystemErrorText(ErrorNumber);
  return text;
}
