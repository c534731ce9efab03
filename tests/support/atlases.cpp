#include "support/atlases.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QRegularExpression>
#include <algorithm>

namespace {

QRect rectOf(const QJsonObject& r) { return {r["x"].toInt(), r["y"].toInt(), r["w"].toInt(), r["h"].toInt()}; }

// As PixiJS does: the source size and offset count unless "trimmed" is false.
AtlasFrame jsonFrame(const QString& name, const QJsonObject& frame)
{
    AtlasFrame read{name, rectOf(frame["frame"].toObject()), {}, {}};
    const bool trimmed = frame["trimmed"].toBool(true) && frame.contains("sourceSize");
    read.offset = trimmed ? rectOf(frame["spriteSourceSize"].toObject()).topLeft() : QPoint();
    const QJsonObject source = frame["sourceSize"].toObject();
    read.size = trimmed ? QSize(source["w"].toInt(), source["h"].toInt()) : read.region.size();
    return read;
}

ReadAtlas readJson(const QByteArray& data, bool numberedKeys)
{
    ReadAtlas atlas;
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(data, &error).object();
    if (error.error != QJsonParseError::NoError)
        return {{}, {}, error.errorString()};
    atlas.image = document["meta"]["image"].toString();
    const QJsonValue frames = document["frames"];
    if (frames.isArray()) {
        for (const QJsonValue frame : frames.toArray())
            atlas.frames.push_back(jsonFrame(frame["filename"].toString(), frame.toObject()));
        return atlas;
    }
    const QJsonObject byKey = frames.toObject();
    for (auto it = byKey.begin(); it != byKey.end(); ++it)
        atlas.frames.push_back(jsonFrame(it.key(), it.value().toObject()));
    if (numberedKeys)
        std::stable_sort(atlas.frames.begin(), atlas.frames.end(),
                         [](const AtlasFrame& a, const AtlasFrame& b) { return a.name.toInt() < b.name.toInt(); });
    return atlas;
}

// The four numbers of a "Rect2(x, y, w, h)".
QRect rect2(const QString& line)
{
    static const QRegularExpression numbers(R"(Rect2\((-?\d+), (-?\d+), (-?\d+), (-?\d+)\))");
    const QRegularExpressionMatch match = numbers.match(line);
    return {match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
            match.captured(4).toInt()};
}

// An AtlasTexture is its region plus its margin: drawn at the margin's
// position in a box the margin's size larger.
ReadAtlas readGodot(const QByteArray& data)
{
    static const QRegularExpression texture(R"re(^\[ext_resource type="Texture2D" path="([^"]*)" id="([^"]+)"\]$)re");
    static const QRegularExpression atlasTexture(R"re(^\[sub_resource type="AtlasTexture" id="([^"]+)"\]$)re");
    ReadAtlas atlas;
    QString textureId;
    QRect margin;
    const auto finish = [&] {
        if (!atlas.frames.empty()) {
            AtlasFrame& frame = atlas.frames.back();
            frame.offset = margin.topLeft();
            frame.size = frame.region.size() + margin.size();
        }
        margin = {};
    };
    for (const QString& line : QString::fromUtf8(data).split('\n')) {
        if (const QRegularExpressionMatch match = texture.match(line); match.hasMatch()) {
            atlas.image = match.captured(1);
            textureId = match.captured(2);
        } else if (const QRegularExpressionMatch match = atlasTexture.match(line); match.hasMatch()) {
            finish();
            atlas.frames.push_back({match.captured(1), {}, {}, {}});
        } else if (line.startsWith("atlas = ") && line != "atlas = ExtResource(\"" + textureId + "\")") {
            atlas.problem = "an AtlasTexture of another texture: " + line;
        } else if (line.startsWith("region = ") && !atlas.frames.empty()) {
            atlas.frames.back().region = rect2(line);
        } else if (line.startsWith("margin = ")) {
            margin = rect2(line);
        } else if (line.startsWith('[')) {
            finish();
        }
    }
    return atlas;
}

// As libGDX's TextureAtlasData reads it: the page's name and fields, then
// each region's name and its "key: values" lines; offsets count up from the
// bottom.
ReadAtlas readLibgdx(const QByteArray& data)
{
    ReadAtlas atlas;
    const QStringList lines = QString::fromUtf8(data).split('\n');
    qsizetype at = 0;
    while (at < lines.size() && lines[at].trimmed().isEmpty())
        ++at;
    if (at == lines.size())
        return {{}, {}, "no page"};
    atlas.image = lines[at++];
    const auto field = [&](QStringList& values) {
        const QString line = at < lines.size() ? lines[at].trimmed() : QString();
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            return QString();
        values = line.mid(colon + 1).split(',');
        ++at;
        return line.left(colon).trimmed();
    };
    QStringList values;
    while (!field(values).isEmpty()) {
    }
    while (at < lines.size() && !lines[at].trimmed().isEmpty()) {
        AtlasFrame frame{lines[at++].trimmed(), {}, {}, {}};
        int offsetX = 0;
        int offsetY = 0;
        for (QString key = field(values); !key.isEmpty(); key = field(values)) {
            const auto number = [&](int i) { return values.value(i).trimmed().toInt(); };
            if (key == "bounds")
                frame.region = {number(0), number(1), number(2), number(3)};
            else if (key == "offsets") {
                offsetX = number(0);
                offsetY = number(1);
                frame.size = {number(2), number(3)};
            } else if (key == "index")
                frame.name += "#" + QString::number(number(0));
        }
        if (frame.size.isEmpty())
            frame.size = frame.region.size();
        frame.offset = {offsetX, frame.size.height() - offsetY - frame.region.height()};
        atlas.frames.push_back(frame);
    }
    return atlas;
}

} // namespace

ReadAtlas readAtlas(cli::AtlasFormat format, const QByteArray& data)
{
    switch (format) {
    case cli::AtlasFormat::JsonHash:
    case cli::AtlasFormat::JsonArray:
        return readJson(data, false);
    case cli::AtlasFormat::Aseprite:
        return readJson(data, true);
    case cli::AtlasFormat::Godot:
        return readGodot(data);
    case cli::AtlasFormat::Libgdx:
        return readLibgdx(data);
    }
    return {};
}

QImage drawnFrame(const QImage& sheet, const AtlasFrame& frame)
{
    QImage tile(frame.size, QImage::Format_ARGB32);
    tile.fill(Qt::transparent);
    QPainter painter(&tile);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(frame.offset, sheet.convertToFormat(QImage::Format_ARGB32), frame.region);
    painter.end();
    return tile;
}
