#pragma once

#include <QPixmap>
#include <QString>

namespace cg {

// The product bar's pictures, drawn rather than loaded: tag is one of
// home_, go_back_, close_, export_, exportopen_, preview_, print_ and state
// one of Normal, Hover, Down.
QPixmap DrawProductPicture(const QString &tag, const QString &state, int size);

} // namespace cg

namespace cg {

// The program's window icon: a gate lamp on the station's blue.
QPixmap DrawAppIcon(int size);

} // namespace cg
