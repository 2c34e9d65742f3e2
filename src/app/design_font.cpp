#include "design_font.h"

#include <QFontDatabase>

// The faces live in the app library's resources; a static library drops them unless they are referenced.
static void initFontResources() { Q_INIT_RESOURCE(resources); }

namespace {

constexpr const char *kCarriedFaces[] = {":/fonts/DejaVuSansCondensed.ttf", ":/fonts/DejaVuSansCondensed-Bold.ttf"};

} // namespace

QStringList designFontFamilies() { return {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")}; }

QStringList registerEmbeddedFonts()
{
    static const QStringList families = [] {
        initFontResources();
        QStringList registered;
        for (const char *face : kCarriedFaces) {
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(face));
            if (id < 0)
                return QStringList();
            for (const QString &family : QFontDatabase::applicationFontFamilies(id)) {
                if (!registered.contains(family))
                    registered.append(family);
            }
        }
        return registered;
    }();
    return families;
}
