#include "SmartPlaylistSetupView.h"

#include "ui/Icons.h"
#include "ui/editors/EditorChrome.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace varno {

SmartPlaylistSetupView::SmartPlaylistSetupView(PlaylistEngine& engine, QWidget* parent)
    : SmartPlaylistSetupView(engine, SmartPlaylistSetupState(), parent)
{
}

SmartPlaylistSetupView::SmartPlaylistSetupView(PlaylistEngine& engine, const Playlist& playlist, QWidget* parent)
    : SmartPlaylistSetupView(engine, SmartPlaylistSetupState(playlist), parent)
{
}

SmartPlaylistSetupView::SmartPlaylistSetupView(PlaylistEngine& engine, SmartPlaylistSetupState state, QWidget* parent)
    : QDialog(parent)
    , m_engine(engine)
    , m_state(std::move(state))
{
    using State = SmartPlaylistSetupState;
    setObjectName(QStringLiteral("smartPlaylistSheet"));
    setWindowTitle(m_state.title());
    setWindowModality(Qt::WindowModal);
    resize(620, 420);
    m_state.onCancel = [this] { done(QDialog::Rejected); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(makeSheetTitle(m_state.title(), this));

    layout->addWidget(makeCaption(State::kNameLabel, this));
    m_name = new QLineEdit(m_state.playlistName, this);
    m_name->setObjectName(QStringLiteral("playlistName"));
    m_name->setPlaceholderText(State::kNamePlaceholder);
    m_name->setAccessibleName(State::kNameLabel);
    m_name->selectAll();
    layout->addWidget(m_name);
    connect(m_name, &QLineEdit::textChanged, this, [this](const QString& text) { m_state.playlistName = text; });

    auto* matchRow = new QHBoxLayout;
    matchRow->setSpacing(6);
    matchRow->addWidget(new QLabel(State::kMatch, this));
    m_matchMode = new QComboBox(this);
    m_matchMode->setObjectName(QStringLiteral("matchMode"));
    m_matchMode->addItem(State::kAll, true);
    m_matchMode->addItem(State::kAny, false);
    m_matchMode->setCurrentIndex(m_state.matchAllRules ? 0 : 1);
    matchRow->addWidget(m_matchMode);
    matchRow->addWidget(new QLabel(State::kRulesSuffix.trimmed(), this));
    matchRow->addStretch(1);
    layout->addLayout(matchRow);
    connect(m_matchMode, &QComboBox::currentIndexChanged, this, [this] { m_state.matchAllRules = m_matchMode->currentData().toBool(); });

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* rules = new QWidget(scroll);
    rules->setObjectName(QStringLiteral("rules"));
    m_rulesLayout = new QVBoxLayout(rules);
    m_rulesLayout->setContentsMargins(0, 0, 0, 0);
    m_rulesLayout->setSpacing(6);
    m_rulesLayout->addStretch(1);
    scroll->setWidget(rules);
    layout->addWidget(scroll, 1);
    m_errorLabel = makeErrorLabel(QStringLiteral("ruleError"), this);
    layout->addWidget(m_errorLabel);

    auto* buttons = new QHBoxLayout;
    m_addRule = new QPushButton(symbolIcon(u"plus"), State::kAddRule, this);
    m_addRule->setObjectName(QStringLiteral("addRule"));
    m_addRule->setAutoDefault(false);
    m_cancel = new QPushButton(State::kCancel, this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setAutoDefault(false);
    m_create = new QPushButton(m_state.createText(), this);
    m_create->setObjectName(QStringLiteral("create"));
    m_create->setAutoDefault(false);
    // Return in any field creates, as in the other sheets.
    m_create->setDefault(true);
    m_create->setToolTip(QKeySequence(Qt::CTRL | Qt::Key_Return).toString(QKeySequence::NativeText));
    makeProminent(m_create);
    buttons->addWidget(m_addRule);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_create);
    layout->addLayout(buttons);

    connect(m_addRule, &QPushButton::clicked, this, &SmartPlaylistSetupView::addRule);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_state.cancel(); });
    connect(m_create, &QPushButton::clicked, this, &SmartPlaylistSetupView::create);
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, &SmartPlaylistSetupView::create);
    }

    rebuildRules();
    m_name->setFocus(Qt::OtherFocusReason);
}

QWidget* SmartPlaylistSetupView::ruleRow(int index) const
{
    QLayoutItem* item = m_rulesLayout->itemAt(index);
    return index < ruleRowCount() && item ? item->widget() : nullptr;
}

int SmartPlaylistSetupView::ruleRowCount() const
{
    // The last item is the stretch that keeps the rows at the top.
    return m_rulesLayout->count() - 1;
}

void SmartPlaylistSetupView::addRule()
{
    const QUuid id = m_state.addRule().id;
    rebuildRules();
    if (QWidget* row = ruleRow(ruleRowCount() - 1); row && row->property("ruleID").toUuid() == id)
        row->findChild<QLineEdit*>(QStringLiteral("value"))->setFocus(Qt::OtherFocusReason);
}

void SmartPlaylistSetupView::removeRule(const QUuid& id)
{
    m_state.removeRule(id);
    rebuildRules();
}

void SmartPlaylistSetupView::rebuildRules()
{
    while (ruleRowCount() > 0) {
        QLayoutItem* item = m_rulesLayout->takeAt(0);
        // Later, not now: the remove button that asked for this is one of
        // the widgets going.
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    for (const SmartRule& rule : m_state.rules)
        m_rulesLayout->insertWidget(ruleRowCount(), makeRuleRow(rule));
}

QWidget* SmartPlaylistSetupView::makeRuleRow(const SmartRule& rule)
{
    auto* row = new QWidget(m_rulesLayout->parentWidget());
    row->setObjectName(QStringLiteral("ruleRow"));
    row->setProperty("ruleID", rule.id);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* property = new QComboBox(row);
    property->setObjectName(QStringLiteral("property"));
    for (const SmartRuleProperty candidate : allSmartRuleProperties())
        property->addItem(rawValue(candidate), static_cast<int>(candidate));
    property->setCurrentIndex(property->findData(static_cast<int>(rule.property)));

    auto* condition = new QComboBox(row);
    condition->setObjectName(QStringLiteral("condition"));
    for (const SmartRuleCondition candidate : allSmartRuleConditions())
        condition->addItem(rawValue(candidate), static_cast<int>(candidate));
    condition->setCurrentIndex(condition->findData(static_cast<int>(rule.condition)));

    auto* value = new QLineEdit(rule.value, row);
    value->setObjectName(QStringLiteral("value"));
    value->setPlaceholderText(SmartPlaylistSetupState::kValuePlaceholder);

    auto* remove = new QToolButton(row);
    remove->setObjectName(QStringLiteral("removeRule"));
    remove->setIcon(symbolIcon(u"xmark"));
    remove->setAutoRaise(true);
    remove->setAccessibleName(QStringLiteral("Remove Rule"));
    remove->setToolTip(QStringLiteral("Remove Rule"));

    layout->addWidget(property);
    layout->addWidget(condition);
    layout->addWidget(value, 1);
    layout->addWidget(remove);

    const QUuid id = rule.id;
    connect(property, &QComboBox::currentIndexChanged, this, [this, id, property] {
        if (SmartRule* edited = m_state.rule(id))
            edited->property = static_cast<SmartRuleProperty>(property->currentData().toInt());
    });
    connect(condition, &QComboBox::currentIndexChanged, this, [this, id, condition] {
        if (SmartRule* edited = m_state.rule(id))
            edited->condition = static_cast<SmartRuleCondition>(condition->currentData().toInt());
    });
    connect(value, &QLineEdit::textChanged, this, [this, id](const QString& text) {
        if (SmartRule* edited = m_state.rule(id))
            edited->value = text;
    });
    connect(remove, &QToolButton::clicked, this, [this, id] { removeRule(id); });
    return row;
}

void SmartPlaylistSetupView::create()
{
    if (m_creating)
        return;
    auto creating = runCreate();
}

QCoro::Task<> SmartPlaylistSetupView::runCreate()
{
    const QPointer<SmartPlaylistSetupView> self(this);
    m_creating = true;
    // The state closes the sheet through onCancel when the playlist is made;
    // a copy is created from so that closing cannot pull it away mid-way.
    SmartPlaylistSetupState state = m_state;
    bool closeRequested = false;
    state.onCancel = [&closeRequested] { closeRequested = true; };
    auto creating = state.create(m_engine);
    const std::optional<Playlist> playlist = co_await std::move(creating);
    if (!self)
        co_return;
    m_creating = false;
    if (playlist) {
        emit created(*playlist);
        if (closeRequested)
            m_state.cancel();
        co_return;
    }
    m_state.errorMessage = state.errorMessage;
    m_state.refusedRuleID = state.refusedRuleID;
    showRefusal();
}

void SmartPlaylistSetupView::showRefusal()
{
    showError(m_errorLabel, m_state.errorMessage);
    if (!m_state.refusedRuleID)
        return;
    for (int i = 0; i < ruleRowCount(); ++i) {
        QWidget* row = ruleRow(i);
        if (row->property("ruleID").toUuid() != *m_state.refusedRuleID)
            continue;
        auto* value = row->findChild<QLineEdit*>(QStringLiteral("value"));
        value->setFocus(Qt::OtherFocusReason);
        value->selectAll();
    }
}

} // namespace varno
