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
    const QRect region = rectOf(frame["frame"].toObject());
    if (!frame["trimmed"].toBool(true))
        return {name, region, {}, region.size()};
    const QJsonObject source = frame["sourceSize"].toObject();
    return {name, region, rectOf(frame["spriteSourceSize"].toObject()).topLeft(),
            {source["w"].toInt(), source["h"].toInt()}};
}

ReadAtlas readJson(const QByteArray& data, bool numberedKeys)
{
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(data, &error).object();
    ReadAtlas atlas{document["meta"]["image"].toString(), {}, error.error ? error.errorString() : QString()};
    const QJsonValue frames = document["frames"];
    for (const QJsonValue frame : frames.toArray())
        atlas.frames.push_back(jsonFrame(frame["filename"].toString(), frame.toObject()));
    const QJsonObject byKey = frames.toObject();
    for (auto it = byKey.begin(); it != byKey.end(); ++it)
        atlas.frames.push_back(jsonFrame(it.key(), it.value().toObject()));
    if (numberedKeys)
        std::sort(atlas.frames.begin(), atlas.frames.end(),
                  [](const AtlasFrame& a, const AtlasFrame& b) { return a.name.toInt() < b.name.toInt(); });
    return atlas;
}

// An AtlasTexture is drawn at its margin's position in a box its margin's
// size larger than its region.
ReadAtlas readGodot(const QByteArray& data)
{
    static const QRegularExpression line(R"re(^(?:\[ext_resource .*path="([^"]*)"|)re"
                                         R"re(\[sub_resource type="AtlasTexture" id="([^"]+)"\]|)re"
                                         R"re((region|margin) = Rect2\((\d+), (\d+), (\d+), (\d+)\)))re");
    ReadAtlas atlas;
    for (const QString& text : QString::fromUtf8(data).split('\n')) {
        const QRegularExpressionMatch match = line.match(text);
        const QRect rect(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt(),
                         match.captured(7).toInt());
        if (match.hasCaptured(1))
            atlas.image = match.captured(1);
        else if (match.hasCaptured(2))
            atlas.frames.push_back({match.captured(2), {}, {}, {}});
        else if (match.captured(3) == "region")
            atlas.frames.back() = {atlas.frames.back().name, rect, {}, rect.size()};
        else if (match.captured(3) == "margin")
            atlas.frames.back() = {atlas.frames.back().name, atlas.frames.back().region, rect.topLeft(),
                                   atlas.frames.back().size + rect.size()};
    }
    return atlas;
}

// As libGDX's TextureAtlasData reads it: the page's name and "key: values"
// lines, then each region's name and its own; offsets count up from the bottom.
ReadAtlas readLibgdx(const QByteArray& data)
{
    const QStringList lines = QString::fromUtf8(data).split('\n');
    ReadAtlas atlas{lines.value(0), {}, {}};
    for (qsizetype at = 1; at < lines.size() && !lines[at].trimmed().isEmpty(); ++at) {
        const QString line = lines[at].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) {
            atlas.frames.push_back({line, {}, {}, {}});
            continue;
        }
        std::vector<int> n;
        for (const QString& value : line.mid(colon + 1).split(','))
            n.push_back(value.trimmed().toInt());
        const QString key = line.left(colon);
        if (atlas.frames.empty() || n.size() < (key == "index" ? 1u : 4u))
            continue;
        AtlasFrame& frame = atlas.frames.back();
        if (key == "bounds")
            frame = {frame.name, {n[0], n[1], n[2], n[3]}, {}, {n[2], n[3]}};
        else if (key == "offsets")
            frame = {frame.name, frame.region, {n[0], n[3] - n[1] - frame.region.height()}, {n[2], n[3]}};
        else if (key == "index")
            frame.name += "#" + QString::number(n[0]);
    }
    return atlas;
}

} // namespace

ReadAtlas readAtlas(cli::AtlasFormat format, const QByteArray& data)
{
    switch (format) {
    case cli::AtlasFormat::JsonHash:
    case cli::AtlasFormat::JsonArray:
    case cli::AtlasFormat::Aseprite:
        return readJson(data, format == cli::AtlasFormat::Aseprite);
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
    return tile;
}
