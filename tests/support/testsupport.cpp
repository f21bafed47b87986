#include "testsupport.h"

namespace cg::test {

MsgAnswer RecordingMessageSink::show(const MessageBoxSpec &spec, QWidget *)
{
    MsgAnswer a;
    if (spec.buttons == MsgButtons::Ok) {
        a = MsgAnswer::Ok;
    } else if (!script.isEmpty()) {
        a = script.takeFirst();
    } else if (spec.buttons == MsgButtons::YesNo) {
        a = defaultAnswer == MsgAnswer::No ? MsgAnswer::No : MsgAnswer::Yes;
    } else {
        a = (defaultAnswer == MsgAnswer::Cancel || defaultAnswer == MsgAnswer::No) ? MsgAnswer::Cancel
                                                                                   : MsgAnswer::Ok;
    }
    boxes.append({spec, a});
    return a;
}

void RecordingMessageSink::notify(const QString &message, QWidget *parent)
{
    if (onNotify)
        onNotify(parent);
    notices.append(message);
}

} // namespace cg::test
