#pragma once
// "Clear": clears the buffers whose properties the skene gives, in place
// among its draw item's children. The flags stick once set, so an item that
// only names cD clears only depth.
#include <QQuickItem>

class ClearQML : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(float cR READ cR WRITE setCR)
    Q_PROPERTY(float cG READ cG WRITE setCG)
    Q_PROPERTY(float cB READ cB WRITE setCB)
    Q_PROPERTY(float cA READ cA WRITE setCA)
    Q_PROPERTY(float cD READ cD WRITE setCD)
    Q_PROPERTY(bool mR READ mR WRITE setMR)
    Q_PROPERTY(bool mG READ mG WRITE setMG)
    Q_PROPERTY(bool mB READ mB WRITE setMB)
    Q_PROPERTY(bool mA READ mA WRITE setMA)

public:
    explicit ClearQML(QQuickItem* parent = nullptr) : QQuickItem(parent) {}

    float cR() const { return cR_; }
    float cG() const { return cG_; }
    float cB() const { return cB_; }
    float cA() const { return cA_; }
    float cD() const { return cD_; }
    bool mR() const { return mR_; }
    bool mG() const { return mG_; }
    bool mB() const { return mB_; }
    bool mA() const { return mA_; }
    void setCR(float v) { cR_ = v; clearColour = true; }
    void setCG(float v) { cG_ = v; clearColour = true; }
    void setCB(float v) { cB_ = v; clearColour = true; }
    void setCA(float v) { cA_ = v; clearColour = true; }
    void setCD(float v) { cD_ = v; clearDepthValue = true; }
    void setMR(bool v) { mR_ = v; clearColour = true; }
    void setMG(bool v) { mG_ = v; clearColour = true; }
    void setMB(bool v) { mB_ = v; clearColour = true; }
    void setMA(bool v) { mA_ = v; clearColour = true; }

    bool clearColour = false;
    bool clearDepthValue = false;

private:
    float cR_ = 0.0f, cG_ = 0.0f, cB_ = 0.0f, cA_ = 1.0f;
    float cD_ = 1.0f;
    bool mR_ = true, mG_ = true, mB_ = true, mA_ = true;
};
