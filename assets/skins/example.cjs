/* Example skin for Orbenvale Tessary Plunor.
 *
 * To use it, copy this file to x/o.cjs in the program folder and start the
 * program again. It is an ordinary Qt style sheet: edit the colours freely.
 * The two buttons under the map are PushButton1 and PushButton2 on the main
 * window, Form1.
 */

QWidget#Form1 QPushButton#PushButton1,
QWidget#Form1 QPushButton#PushButton2 {
    color: white;
    font-weight: bold;
    padding: 4px 14px;
    border: 1px solid #0d2a66;
    border-radius: 9px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
                                stop:0 #5d9cf0, stop:0.5 #2f6fd0, stop:1 #1c4ea6);
}

QWidget#Form1 QPushButton#PushButton1:hover,
QWidget#Form1 QPushButton#PushButton2:hover {
    border-color: #ffffff;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
                                stop:0 #7ab2ff, stop:0.5 #4385e6, stop:1 #2a5fbc);
}

QWidget#Form1 QPushButton#PushButton1:pressed,
QWidget#Form1 QPushButton#PushButton2:pressed {
    padding-top: 5px;
    padding-bottom: 3px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
                                stop:0 #163f8c, stop:1 #2a64c4);
}

QWidget#Form1 QPushButton#PushButton1:disabled,
QWidget#Form1 QPushButton#PushButton2:disabled {
    color: #c6d2e6;
    border-color: #6d7f9e;
    background: #8a9bb8;
}
