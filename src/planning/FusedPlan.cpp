#include "FusedPlan.h"

#include "planning/FusedArguments.h"
#include "planning/MemoryEstimate.h"

#include <QRegularExpression>
#include <QSet>

#include <memory>

namespace {

using namespace FusedArguments;

// The filter chains of one group as a tree: outputs whose chains begin alike share those
// filters, and the stream is split where they part.
struct Tree {
    struct Node {
        QString filter;
        QList<int> children;
        QList<int> ends; // positions in the group of the outputs whose chain ends here
    };
    QList<Node> nodes{Node{}};

    void add(const QStringList& filters, int member) {
        int at = 0;
        for (const QString& filter : filters) {
            int next = -1;
            for (const int child : std::as_const(nodes[at].children))
                if (nodes[child].filter == filter)
                    next = child;
            if (next < 0) {
                nodes.append(Node{filter, {}, {}});
                next = int(nodes.size()) - 1;
                nodes[at].children.append(next);
            }
            at = next;
        }
        nodes[at].ends.append(member);
    }
};

// Writes the graph text of one tree and the label each output maps.
struct GraphWriter {
    const Tree& tree;
    const QList<Parsed>& members;
    QString pixelFormat; // the format most branches are encoded in
    QStringList statements;
    QStringList outputLabels;
    int splits = 0;

    // `chain` is the text so far: a leading label, then filters; `fresh` while it holds none.
    void walk(int node, QString chain, bool fresh) {
        const Tree::Node& n = tree.nodes.at(node);
        const qsizetype consumers = n.children.size() + n.ends.size();
        if (consumers == 1) {
            if (!n.children.isEmpty())
                return enter(n.children.first(), chain, fresh);
            return finish(n.ends.first(), chain, fresh);
        }
        QStringList labels;
        for (qsizetype k = 0; k < consumers; ++k)
            labels << QStringLiteral("[s%1]").arg(splits++);
        statements << chain + (fresh ? QString() : QStringLiteral(",")) +
                          QStringLiteral("split=%1").arg(consumers) + labels.join(QString());
        qsizetype k = 0;
        for (const int child : n.children)
            enter(child, labels.at(k++), true);
        for (const int end : n.ends)
            finish(end, labels.at(k++), true);
    }

    void enter(int node, const QString& chain, bool fresh) {
        QString filter = tree.nodes.at(node).filter;
        // A labelled tail's own labels get a prefix unique to its place in the graph.
        static const QRegularExpression label(QStringLiteral("\\[([A-Za-z0-9_]+)\\]"));
        filter.replace(label, QStringLiteral("[n%1_\\1]").arg(node));
        walk(node, chain + (fresh ? QString() : QStringLiteral(",")) + filter, false);
    }

    // The output's frame pick goes where its branch leaves the shared filters, so the shared
    // part runs once for every frame and the rest of the branch only for the kept frame.
    void finish(int member, QString chain, bool fresh) {
        const Parsed& p = members.at(member);
        QStringList pick;
        if (!p.seek.isEmpty())
            pick << QStringLiteral("trim=start=") + p.seek;
        if (p.frameLimit == 1 && p.frameForFrame)
            pick << QStringLiteral("trim=end_frame=1");
        const qsizetype labelEnd = chain.indexOf(QLatin1Char(']')) + 1;
        // A split hands every branch the same pixel format, and ffmpeg picks it to suit all
        // the encoders: for a JPEG poster beside H.264 it would pick full-range YUV and turn
        // the video's pixels twice. Branches wanting another format convert on their own.
        if (!pixelFormat.isEmpty() && p.pixelFormat != pixelFormat)
            pick << QStringLiteral("scale");
        if (!pick.isEmpty()) {
            const QString rest = chain.mid(labelEnd);
            chain = chain.left(labelEnd) + pick.join(QLatin1Char(',')) +
                    (rest.isEmpty() ? QString() : QStringLiteral(",") + rest);
            fresh = false;
        }
        if (fresh && labelEnd == chain.size() && chain != QLatin1String("[0:V:0]")) {
            outputLabels[member] = chain;
            return;
        }
        const QString out = QStringLiteral("[o%1]").arg(member);
        statements << chain + (fresh ? QStringLiteral("null") : QString()) + out;
        outputLabels[member] = out;
    }
};

FusedPlan::Invocation fuse(const QList<PlannedOutput>& outputs, const QList<int>& indices,
                           const QList<Parsed>& parsed) {
    QList<Parsed> members;
    for (const int index : indices)
        members << parsed.at(index);
    Tree tree;
    for (int m = 0; m < members.size(); ++m)
        tree.add(members.at(m).filters, m);
    GraphWriter writer{tree, members, {}, {}, QStringList(members.size()), 0};
    for (const Parsed& member : std::as_const(members))
        if (writer.pixelFormat.isEmpty())
            writer.pixelFormat = member.pixelFormat;
    writer.walk(0, QStringLiteral("[0:V:0]"), true);

    FusedPlan::Invocation invocation;
    invocation.outputs = indices;
    // The progress request of whichever output asked for it; the rest is the same for all.
    QStringList globals = members.first().globals;
    for (const Parsed& member : members)
        if (member.globals.contains(QStringLiteral("-progress"))) {
            globals = member.globals;
            break;
        }
    invocation.arguments = globals;
    invocation.arguments << QStringLiteral("-i") << members.first().source;
    invocation.inputSlot = invocation.arguments.size() - 1;
    // ffmpeg gives the conversions it inserts in a lone output's chain bicubic scaling, and
    // those in a shared graph bilinear unless told: the same pixels need the same choice.
    invocation.arguments << QStringLiteral("-filter_complex")
                         << QStringLiteral("sws_flags=bicubic;") +
                                writer.statements.join(QLatin1Char(';'));
    for (int m = 0; m < members.size(); ++m) {
        const Parsed& p = members.at(m);
        invocation.arguments << QStringLiteral("-map") << writer.outputLabels.at(m);
        // The decoded audio is shared as the video is: ffmpeg decodes an input stream once,
        // however many outputs map it. A lone run would take the stream with most channels;
        // this takes the first, which is the only one a camera or phone writes.
        if (p.audio)
            invocation.arguments << QStringLiteral("-map") << QStringLiteral("0:a:0?");
        invocation.arguments << p.options;
        invocation.writeSlots << invocation.arguments.size();
        invocation.arguments << p.destination;
        invocation.progressDuration =
            std::max(invocation.progressDuration, outputs.at(indices.at(m)).progressDuration);
    }
    return invocation;
}

} // namespace

namespace FusedPlan {

QString aloneBecause(const PlannedOutput& output) {
    return parse(output).why;
}

Invocation alone(const PlannedOutput& output, int index) {
    Invocation invocation;
    invocation.arguments = output.arguments;
    invocation.outputs = {index};
    invocation.writeSlots = {output.arguments.size() - 1};
    invocation.inputSlot = output.arguments.indexOf(QStringLiteral("-i")) + 1;
    if (invocation.inputSlot == 0 || invocation.inputSlot >= invocation.writeSlots.first())
        invocation.inputSlot = -1;
    invocation.progressDuration = output.progressDuration;
    return invocation;
}

QList<Invocation> group(const QList<PlannedOutput>& outputs, qint64 memoryLimit, qint64 sourceWidth,
                        qint64 sourceHeight) {
    const QSize source{int(sourceWidth), int(sourceHeight)};
    QList<Parsed> parsed;
    for (const PlannedOutput& output : outputs)
        parsed << parse(output);

    // Groups in order of their first output; an output joins the first open group with its
    // source and options that still has room.
    struct Open {
        QStringList key;
        QList<int> members;
        QList<PlannedOutput> planned;
        QSet<QString> destinations;
    };
    QList<Open> groups;
    for (int i = 0; i < outputs.size(); ++i) {
        const Parsed& p = parsed.at(i);
        Open* home = nullptr;
        if (p.why.isEmpty()) {
            const QStringList key = QStringList{p.source} + withoutProgress(p.globals);
            for (Open& open : groups) {
                if (open.key != key || open.destinations.contains(p.destination))
                    continue;
                QList<PlannedOutput> trial = open.planned;
                trial << outputs.at(i);
                if (memoryLimit > 0 && MemoryEstimate::processBytes(trial, source) > memoryLimit)
                    continue;
                home = &open;
                break;
            }
            if (!home)
                groups.append(Open{key, {}, {}, {}});
        } else {
            groups.append(Open{{}, {}, {}, {}}); // never matches a key: stays alone
        }
        if (!home)
            home = &groups.last();
        home->members << i;
        home->planned << outputs.at(i);
        home->destinations.insert(p.destination);
    }

    QList<Invocation> result;
    for (const Open& open : std::as_const(groups)) {
        if (open.members.size() == 1)
            result << alone(outputs.at(open.members.first()), open.members.first());
        else
            result << fuse(outputs, open.members, parsed);
    }
    return result;
}

QString taskText(const QStringList& labels) {
    if (labels.size() <= 2)
        return labels.join(QStringLiteral(", "));
    return labels.mid(0, 2).join(QStringLiteral(", ")) +
           QStringLiteral(" +%1").arg(labels.size() - 2);
}

} // namespace FusedPlan
