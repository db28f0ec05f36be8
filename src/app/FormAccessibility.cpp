#include "FormAccessibility.h"

#include <QAccessibleWidget>
#include <QGroupBox>
#include <QWidget>

namespace {

const char hiddenProperty[] = "sonavexAccessibleHidden";

// A container whose children are the ones a user can perceive.
class PerceivedChildren : public QAccessibleWidget
{
public:
    PerceivedChildren(QWidget *widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role)
    {}

    int childCount() const override { return int(perceived().size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> children = perceived();
        if (index < 0 || index >= children.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(perceived().indexOf(static_cast<QWidget *>(child->object())));
    }

    QString text(QAccessible::Text t) const override
    {
        // A group box reads as its title, as Qt's own group box interface does.
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            if (const auto *box = qobject_cast<const QGroupBox *>(widget()))
                return box->title();
        return QAccessibleWidget::text(t);
    }

private:
    QList<QWidget *> perceived() const
    {
        QList<QWidget *> children;
        for (QObject *object : widget()->children()) {
            if (!object->isWidgetType())
                continue;
            auto *child = static_cast<QWidget *>(object);
            if (child->isWindow() || child->isHidden() || child->property(hiddenProperty).toBool())
                continue;
            children.append(child);
        }
        return children;
    }
};

bool inForm1(const QWidget *widget)
{
    return widget->window()->objectName() == QLatin1StringView("Form1");
}

QAccessibleInterface *formInterfaces(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1StringView("Form1"))
        return new PerceivedChildren(widget, QAccessible::Window);
    if (className == QLatin1StringView("StatusBar"))
        return new PerceivedChildren(widget, QAccessible::StatusBar);
    if (className == QLatin1StringView("QGroupBox") && inForm1(widget))
        return new PerceivedChildren(widget, QAccessible::Grouping);
    return nullptr;
}

} // namespace

void FormAccessibility::setHidden(QWidget *widget)
{
    widget->setProperty(hiddenProperty, true);
}

void FormAccessibility::install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(formInterfaces);
}
