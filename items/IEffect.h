#pragma once
// Base of every renderable skene item. Effects never draw through the Qt
// Quick scene graph: the frame walks the skene trees once per frame with the
// demo's GL context current and calls render() on each top-level effect,
// which does its GL work and then, as a rule, renders its own children.
#include <QQuickItem>
#include <QString>

#include <string>

// Opaque record handed down the render traversal; every caller passes null.
struct RenderNameListItem {
};

class IEffect : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(QString name READ getName WRITE setName NOTIFY nameChanged)

public:
    explicit IEffect(QQuickItem* parent = nullptr);

    QString getName() const;
    // Stores the name (as UTF-8) and emits nameChanged when it differs.
    void setName(const QString& name);

    const std::string& nameText() const { return name_; }
    const std::string& effectText() const { return effectText_; }
    void setEffectText(const std::string& text) { effectText_ = text; }

    // The effect's own switch besides Qt's enabled state: the frame renders
    // a top-level effect only while both are on. A skene root answers with
    // its sceneEnabled.
    virtual bool switchedOn() const { return true; }
    // True for an effect that the frame renders even while a paused demo
    // idles and keeps its last image: the controller, which polls the
    // editors whose changes end the idle state.
    virtual bool rendersWhileIdle() const { return false; }

Q_SIGNALS:
    void nameChanged();

public Q_SLOTS:
    virtual std::string getEffectName() = 0;
    virtual std::string getOrigName();
    // Reads the "name" property through the meta-object system (so a name
    // declared in a QML file on top of the type wins) without notifying.
    virtual void evaluateRocketName();
    virtual void render(RenderNameListItem* pRNLI) = 0;
    // Applies the pending edit to the item below pTarget (at itemPath) whose
    // item path matches; true when it did. A slot of every effect, as the
    // frame and QML reach the edit walk (items/ItemEdit.h) through it.
    bool modVal(QQuickItem* pTarget, std::string itemPath);
    // Renders the enabled effect children in declaration order.
    void renderChildren(RenderNameListItem* pRNLI);

protected:
    std::string effectText_;
    std::string name_;

private:
    // name_ as getName() last converted it.
    mutable std::string nameConverted_;
    mutable QString nameQt_;
};
