// The library's numbered texts. Entries are numbered by position; their Id is checked at start-up so that an
// edit which shifts a row is caught before any wrong message reaches a user.
#include "image-library/PGLangStr.h"

#include "image-library/PGExceptions.h"

namespace {

// The table as shipped; the live copy below differs only in the user texts a program sets.
// clang-format off
const std::array<TPGLangStrEntry, PGLangStrCount> InitialEntries = {{
    {0, {"", "", "", "", ""}, {}},
    {1, {"X, Y index out of range", "X, Y Index außerhalb des zulässigen Bereiches", "Valeurs de X, Y hors bornes", "X, Y index buiten het toegestane bereik", "Valores de x e y fuera de rango"}, {}},
    {2, {"No palette", "Keine Palette", "Pas de palette", "Geen palet", "Sin paleta"}, {}},
    {3, {"Invalid palette index", "Ungültiger Palettenindex", "Index de palette invalide", "Ongeldige paletindex", "Índice de paleta no válido"}, {}},
    {4, {"Unknown clipboard format", "Unbekanntes Zwischenablageformat", "Format de presse-papiers inconnu", "Onbekend klembordformaat", "Formato de portapapeles desconocido"}, {}},
    {5, {"Invalid temporary file", "Ungültige temporäre Datei", "Fichier temporaire invalide", "Ongeldig tijdelijk bestand", "Fichero temporal no válido"}, {}},
    {6, {"Unknown file format", "Unbekanntes Dateiformat", "Format de fichier inconnu", "Onbekend bestandsformaat", "Formato de fichero desconocido"}, {}},
    {7, {"%S1 invalid", "%S1 ungültig", "%S1 invalide", "%S1 ongeldig", "%S1 no válido"}, {}},
    {8, {"black and white", "schwarzweiß", "noir et blanc", "zwart-wit", "blanco y negro"}, {}},
    {9, {"2 colors", "2 Farben", "2 couleurs", "2 kleuren", "2 colores"}, {}},
    {10, {"16 shades of gray", "16 Graustufen", "16 niveaux de gris", "16 grijstinten", "16 tonos de gris"}, {}},
    {11, {"16 system colors", "16 Systemfarben", "16 couleurs système", "16 systeemkleuren", "16 colores del sistema"}, {}},
    {12, {"16 colors", "16 Farben", "16 couleurs", "16 kleuren", "16 colores"}, {}},
    {13, {"256 shades of gray", "256 Graustufen", "256 niveaux de gris", "256 grijstinten", "256 tonos de gris"}, {}},
    {14, {"256 colors", "256 Farben", "256 couleurs", "256 kleuren", "256 colores"}, {}},
    {15, {"16.7 million colors", "16,7 Millionen Farben", "16,7 millions de couleurs", "16,7 miljoen kleuren", "16,7 millones de colores"}, {}},
    {16, {"%S1 is empty", "%S1 ist leer", "%S1 est vide", "%S1 is leeg", "%S1 está vacío"}, {}},
    {17, {"The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\rThe graphic will be saved with a different color resolution (%S3).", "Die Grafik kann mit der aktuellen Farbauflösung (%S2) nicht als %S1-Datei gespeichert werden.\r\rDie Grafik wird mit einer anderen Farbauflösung (%S3) gespeichert.", "L'image ne peut pas être enregistrée dans un fichier %S1 avec la résolution de couleurs actuelle (%S2).\r\rL'image sera enregistrée avec une autre résolution de couleurs (%S3).", "De afbeelding kan niet met de huidige kleurresolutie (%S2) als %S1-bestand worden opgeslagen.\r\rDe afbeelding wordt met een andere kleurresolutie (%S3) opgeslagen.", "El gráfico no se puede guardar en un fichero %S1 con la resolución de color actual (%S2).\r\rEl gráfico se guardará con otra resolución de color (%S3)."}, {}},
    {18, {"The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)", "Die Grafik kann mit der aktuellen Farbauflösung (%S2) nicht als %S1-Datei gespeichert werden", "L'image ne peut pas être enregistrée dans un fichier %S1 avec la résolution de couleurs actuelle (%S2)", "De afbeelding kan niet met de huidige kleurresolutie (%S2) als %S1-bestand worden opgeslagen", "El gráfico no se puede guardar en un fichero %S1 con la resolución de color actual (%S2)"}, {}},
    {19, {"Unknown file extension \"%S1\"", "Unbekannte Dateinamenerweiterung \"%S1\"", "Extension de fichier inconnue \"%S1\".", "Onbekende bestand extensie", "Extensión de fichero desconocida \"%S1\""}, {}},
    {20, {"Invalid value for %S1", "Ungültiger Wert für %S1", "Valeur invalide pour %S1", "Ongeldige waarde voor %S1", "Valor no válido para %S1"}, {}},
    {21, {"Negative height", "Negative Höhe", "Hauteur négative", "Negatieve hoogte", "Altura negativa"}, {}},
    {22, {"Negative width", "Negative Breite", "Largeur négative", "Negatieve breedte", "Anchura negativa"}, {}},
    {23, {"Cannot apply this filter to a source that is identical to the target", "Dieser Filter kann nicht auf eine Quelle angewendet werden, die mit dem Ziel identisch ist", "Impossible d'appliquer ce filtre à une source identique à la cible", "Dit filter kan niet worden toegepast op een bron die gelijk is aan het doel", "No se puede aplicar este filtro a un origen idéntico al destino"}, {}},
    {24, {"bit", "Bit", "bit", "bit", "bit"}, {}},
    {25, {"Image files", "Grafikdateien", "Images", "Grafische bestanden", "Ficheros gráficos"}, QStringLiteral("Image files")},
    {26, {"All files", "Alle Dateien", "Tous les fichiers", "Alle bestanden", "Todos los ficheros"}, {}},
    {27, {"Invalid size of %S1", "Ungültige Größe von %S1", "Taille de %S1 invalide", "Ongeldige grootte van %S1", "Tamaño de %S1 no válido"}, {}},
    {28, {"Warning", "Warnung", "Avertissement", "Waarschuwing", "Atención"}, {}},
    {29, {"Operation aborted on user request", "Vorgang auf Anwender-Wunsch abgebrochen", "Opération abandonnée par l'utilisateur.", "Voortgang door de gebruiker onderbroken", "Operación interrumpida por el usuario"}, {}},
    {30, {"Not supported subformat", "Nicht unterstütztes Unterformat", "Sous-format non supporté", "Niet ondersteund subformaat", "Subformato no soportado"}, {}},
    {31, {"%S1 failed", "%S1 fehlgeschlagen", "%S1 a échoué", "%S1 mislukt", "%S1 ha fallado"}, {}},
    {32, {"Unexpected end of file", "Unerwartetes Dateiende", "Fin de fichier inattendue", "Onverwacht einde van bestand", "Fin de fichero inesperado"}, {}},
    {33, {"Unknown subformat", "Unbekanntes Unterformat", "Sous-format inconnu", "Onbekend subformaat", "Subformato desconocido"}, {}},
    {34, {"Not a %S1 file", "Keine %S1-Datei", "Ce n'est pas un fichier %S1", "Geen %S1-bestand", "No es un fichero %S1"}, {}},
    {35, {"Width = 0 or Height = 0", "Breite = 0 oder Höhe = 0", "Largeur = 0 ou hauteur = 0", "Breedte = 0 of hoogte = 0", "Anchura = 0 o altura = 0"}, {}},
    {36, {"Invalid color resolution", "Ungültige Farbauflösung", "Résolution de couleurs invalide", "Ongeldige kleurresolutie", "Resolución de color no válida"}, {}},
    {37, {"Unsupported field type %S1", "Nicht unterstützter Feldtyp %S1", "Type de champ %S1 non supporté", "Niet ondersteund veldtype %S1", "Tipo de campo %S1 no soportado"}, {}},
    {38, {"Invalid count of bytes in row %S1", "Ungültige Anzahl von Bytes in Zeile %S1", "Nombre d'octets invalide dans la ligne %S1", "Ongeldig aantal bytes in rij %S1", "Número de bytes no válido en la fila %S1"}, {}},
    {39, {"Unsupported Compression", "Unsupported Compression", "Compression inconnue", "Unsupported Compression", "Compresión no soportada"}, {}},
    {40, {"Saturation=0 and Hue defined", "Sättigung=0 und Farbton definiert", "Saturation=0 et teinte définie", "Verzadiging=0 en tint gedefinieerd", "Saturación=0 y tono definido"}, {}},
    {41, {"%S1 out of range", "%S1 außerhalb des zulässigen Bereiches", "%S1 hors bornes", "%S1 buiten het toegestane bereik", "%S1 fuera de rango"}, {}},
    {42, {"OK", "OK", "OK", "OK", "OK"}, {}},
    {43, {"Cancel", "Abbruch", "Annuler", "Annuleren", "Cancelar"}, {}},
    {44, {"RGB Filter", "RGB-Filter", "Filtre RVB", "RGB-filter", "Filtro RGB"}, {}},
    {45, {"R", "R", "R", "R", "R"}, {}},
    {46, {"G", "G", "V", "G", "G"}, {}},
    {47, {"B", "B", "B", "B", "B"}, {}},
    {48, {"CMY Filter", "CMY-Filter", "Filtre CMJ", "CMY-filter", "Filtro CMY"}, {}},
    {49, {"C", "C", "C", "C", "C"}, {}},
    {50, {"M", "M", "M", "M", "M"}, {}},
    {51, {"Y", "Y", "J", "Y", "Y"}, {}},
    {52, {"YCbCr Filter", "YCbCr-Filter", "Filtre YCbCr", "YCbCr-filter", "Filtro YCbCr"}, {}},
    {53, {"Y", "Y", "Y", "Y", "Y"}, {}},
    {54, {"Cb", "Cb", "Cb", "Cb", "Cb"}, {}},
    {55, {"Cr", "Cr", "Cr", "Cr", "Cr"}, {}},
    {56, {"HLS Filter", "HLS-Filter", "Filtre TLS", "HLS-filter", "Filtro HLS"}, {}},
    {57, {"H", "H", "T", "H", "H"}, {}},
    {58, {"L", "L", "L", "L", "L"}, {}},
    {59, {"S", "S", "S", "S", "S"}, {}},
    {60, {"HSV Filter", "HSV-Filter", "Filtre TSV", "HSV-filter", "Filtro HSV"}, {}},
    {61, {"V", "V", "V", "V", "V"}, {}},
    {62, {"Negative Filter", "Negativ-Filter", "Filtre négatif", "Negatief-filter", "Filtro negativo"}, {}},
    {63, {"Gamma", "Gamma", "Gamma", "Gamma", "Gamma"}, {}},
    {64, {"RGB", "RGB", "RVB", "RGB", "RGB"}, {}},
    {65, {"Y", "Y", "Y", "Y", "Y"}, {}},
    {66, {"Brightness", "Helligkeit", "Luminosité", "Helderheid", "Luminosidad"}, {}},
    {67, {"Contrast", "Kontrast", "Contraste", "Contrast", "Contraste"}, {}},
    {68, {"Apply on", "Anwenden auf", "Appliquer à", "Toepassen op", "Aplicar a"}, {}},
    {69, {"Brightness, Contrast, Gamma Filter", "Helligkeit-, Kontrast-, Gamma-Filter", "Luminosité, Contraste, Filtre Gamma", "Helderheid-, Contrast-, Gamma-Filter", "Luminosidad, Contraste, Filtro Gamma"}, {}},
    {70, {"Grayscale Filter", "Graustufen-Filter", "Filtre niveaux de gris", "Grijstinten-filter", "Filtro escala de grises"}, {}},
    {71, {"RGB weighting", "RGB-Gewichtung", "Pondération RVB", "RGB-weging", "Ponderación RGB"}, {}},
    {72, {"Std. deviation", "Standardabweichung", "Écart type", "Std. afwijking", "Desviación típica"}, {}},
    {73, {"Strength", "Stärke", "Intensité", "Sterkte", "Intensidad"}, {}},
    {74, {"Sharpen", "Schärfen", "Netteté", "Verscherpen", "Enfocar"}, {}},
    {75, {"Detail", "Detail", "Détail", "Detail", "Detalle"}, {}},
    {76, {"Smooth", "Glätten", "Lisser", "Gladmaken", "Suavizar"}, {}},
    {77, {"Radius", "Radius", "Rayon", "Straal", "Radio"}, {}},
    {78, {"Blur", "Weichzeichnen", "Flou", "Vervagen", "Desenfocar"}, {}},
    {79, {"Contour", "Kontur", "Contour", "Contour", "Contorno"}, {}},
    {80, {"White", "Weiß", "Blanc", "Wit", "Blanco"}, {}},
    {81, {"Black", "Schwarz", "Noir", "Zwart", "Negro"}, {}},
    {82, {"±", "±", "±", "±", "±"}, {}},
    {83, {"°", "°", "°", "°", "°"}, {}},
    {84, {"", "", "", "", ""}, {}},
}};
// clang-format on

} // namespace

std::array<TPGLangStrEntry, PGLangStrCount> PGLangStrEntries = InitialEntries;

uint8_t PGLanguage = 0;

void GetPGLangStr(uint8_t Index, QString& Text) {
    const TPGLangStrEntry& entry = PGLangStrEntries[Index];
    if (PGLanguage < 5)
        Text = QString::fromUtf8(entry.Texts[PGLanguage]);
    else if (PGLanguage == 5)
        Text = entry.UserText;
}

namespace {

// Only the first occurrence is replaced, in the text as the earlier replacements left it.
void ReplaceFirst(QString& Text, const QString& Placeholder, const QString& Value) {
    const qsizetype at = Text.indexOf(Placeholder, 0, Qt::CaseSensitive);
    if (at >= 0)
        Text.replace(at, Placeholder.size(), Value);
}

} // namespace

void GetPGLangStr1(uint8_t Index, const QString& S1, QString& Text) {
    GetPGLangStr(Index, Text);
    ReplaceFirst(Text, QStringLiteral("%S1"), S1);
}

void GetPGLangStr2(uint8_t Index, const QString& S1, const QString& S2, QString& Text) {
    GetPGLangStr1(Index, S1, Text);
    ReplaceFirst(Text, QStringLiteral("%S2"), S2);
}

void GetPGLangStr3(uint8_t Index, const QString& S1, const QString& S2, const QString& S3, QString& Text) {
    GetPGLangStr2(Index, S1, S2, Text);
    ReplaceFirst(Text, QStringLiteral("%S3"), S3);
}

QString PGLangStr(uint8_t Index) {
    QString text;
    GetPGLangStr(Index, text);
    return text;
}

QString PGLangStr(uint8_t Index, const QString& S1) {
    QString text;
    GetPGLangStr1(Index, S1, text);
    return text;
}

QString PGLangStr(uint8_t Index, const QString& S1, const QString& S2) {
    QString text;
    GetPGLangStr2(Index, S1, S2, text);
    return text;
}

QString PGLangStr(uint8_t Index, const QString& S1, const QString& S2, const QString& S3) {
    QString text;
    GetPGLangStr3(Index, S1, S2, S3, text);
    return text;
}

void CheckPGLangStrEntries() {
    for (int i = 0; i < PGLangStrCount; ++i) {
        const int id = PGLangStrEntries[i].Id;
        if (id != i)
            throw EPixelGraphic(
                QStringLiteral("PGLangStrEntries order wrong %1 and %2 are not identical").arg(i).arg(id));
    }
}

void ReleasePGUserTexts() {
    for (int i = 0; i < PGLangStrCount; ++i)
        PGLangStrEntries[i].UserText = InitialEntries[i].UserText;
}
