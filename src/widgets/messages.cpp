#include "messages.h"

#include "core/apperror.h"
#include "messagesink.h"
#include "sound.h"

using namespace Qt::StringLiterals;

namespace cg {

void ShowNotice(MessageSink &sink, const QString &text)
{
    sink.show({u"注意"_s, text, MsgIcon::Information, MsgButtons::Ok});
}

namespace {

void showError(MessageSink &sink, int number, const QString &description)
{
    sink.show({u"错误-"_s + QString::number(number), description,
               MsgIcon::Warning, MsgButtons::Ok});
}

} // namespace

void ReportError(MessageSink &sink, const AppError &error)
{
    showError(sink, error.number(), error.description());
}

void ReportError(MessageSink &sink, const std::exception &error)
{
    const auto *app = dynamic_cast<const AppError *>(&error);
    showError(sink, app ? app->number() : 0, ErrorText(error));
}

QString ErrorText(const std::exception &error)
{
    if (const auto *app = dynamic_cast<const AppError *>(&error))
        return app->description();
    return QString::fromUtf8(error.what());
}

void NotifyError(MessageSink &sink, QWidget *parent, const std::exception &error)
{
    sink.notify(ErrorText(error), parent);
}

void PlayWave(SoundPlayer &player, const QString &path)
{
    if (path.isEmpty())
        return;
    player.play(path);
}

void OpenWithShell(ShellOpener &shell, const QString &path)
{
    shell.open(path);
}

bool CheckNoQuotes(MessageSink &sink, const QString &text, const QString &caption)
{
    if (!text.contains(QLatin1Char('\'')) && !text.contains(QLatin1Char('"')))
        return true;
    sink.show({u"错误"_s, caption + u"中不能有单引号或双引号"_s,
               MsgIcon::Critical, MsgButtons::Ok});
    return false;
}

} // namespace cg
