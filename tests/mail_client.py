#!/usr/bin/python3
"""Mail clients for the end-to-end tests, run inside the sandbox.

  send [--source ADDR] FROM TO FILE...
                                one SMTP transaction per file, from ADDR
                                when given; prints "accepted NAME", or
                                "refused CODE" for a refused recipient
  talk [--source ADDR] LINE...  POP3 over port 110 by hand: sends each
                                LINE (Python escapes allowed) and prints the
                                first line of each answer
  greet FILE                    POP3 over port 110: prints the greeting,
                                stays connected without logging in until
                                FILE exists, then QUIT
  wait MBOX COUNT SECONDS       waits until the mbox holds COUNT messages
  fetch LOGIN PASSWORD DIR      POP3 over port 110: RETR each message into
        [--delete]              DIR/N, DELE them with --delete, with --hold
        [--hold FILE]           stay logged in until FILE exists, then QUIT
"""
import os
import poplib
import smtplib
import sys
import time


def send(args):
    source = None
    if args[0] == '--source':
        source, args = (args[1], 0), args[2:]
    sender, recipient, files = args[0], args[1], args[2:]
    for path in files:
        with open(path, 'rb') as f:
            # SMTP wants CR LF line ends; smtplib converts only text.
            message = f.read().replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
        try:
            with smtplib.SMTP('localhost', 25, timeout=30, source_address=source) as smtp:
                smtp.sendmail(sender, [recipient], message)
            print('accepted', os.path.basename(path))
        except smtplib.SMTPRecipientsRefused as refused:
            for code, _ in refused.recipients.values():
                print('refused', code)


def count_messages(mbox):
    try:
        with open(mbox, 'rb') as f:
            return sum(1 for line in f if line.startswith(b'From '))
    except FileNotFoundError:
        return 0


def wait(mbox, count, seconds):
    deadline = time.time() + seconds
    while count_messages(mbox) < count and time.time() < deadline:
        time.sleep(0.2)
    print('messages', count_messages(mbox))


def fetch(login, password, folder, options):
    # Mail in the wild has lines longer than poplib's own limit of 2048
    # bytes; a client that fetches it must take them.
    poplib._MAXLINE = 1 << 30
    pop = poplib.POP3('localhost', 110, timeout=30)
    print(pop.getwelcome().decode())
    pop.user(login)
    print(pop.pass_(password).decode(), flush=True)
    count, _ = pop.stat()
    os.makedirs(folder, exist_ok=True)
    for number in range(1, count + 1):
        _, lines, _ = pop.retr(number)
        with open(os.path.join(folder, str(number)), 'wb') as f:
            f.write(b''.join(line + b'\n' for line in lines))
        if '--delete' in options:
            pop.dele(number)
    if '--hold' in options:
        release = options[options.index('--hold') + 1]
        deadline = time.time() + 60
        while not os.path.exists(release) and time.time() < deadline:
            time.sleep(0.1)
    print(pop.quit().decode())
    print('fetched', count)


def greet(release):
    pop = poplib.POP3('localhost', 110, timeout=30)
    print(pop.getwelcome().decode(), flush=True)
    deadline = time.time() + 60
    while not os.path.exists(release) and time.time() < deadline:
        time.sleep(0.1)
    print(pop.quit().decode())


def talk(lines):
    import socket
    source = None
    if lines and lines[0] == '--source':
        source, lines = (lines[1], 0), lines[2:]
    with socket.create_connection(('localhost', 110), timeout=30,
                                  source_address=source) as connection:
        answers = connection.makefile('rb')
        print(answers.readline().decode().rstrip())
        for line in lines:
            connection.sendall(line.encode().decode('unicode_escape').encode('latin-1') + b'\r\n')
            try:
                answer = answers.readline().decode('latin-1').rstrip()
            except ConnectionResetError:  # the server closed with this line unread
                answer = ''
            print(answer if answer else '(closed)')
            if not answer:
                break
            words = line.upper().split()
            multi_line = words and (words[0] in ('CAPA', 'RETR', 'TOP') or
                                    (words[0] in ('LIST', 'UIDL') and len(words) == 1))
            while multi_line and answer.startswith('+OK') and answer != '.':
                answer = answers.readline().decode('latin-1').rstrip()


def main(args):
    command = args[0]
    if command == 'send':
        send(args[1:])
    elif command == 'talk':
        talk(args[1:])
    elif command == 'wait':
        wait(args[1], int(args[2]), float(args[3]))
    elif command == 'fetch':
        fetch(args[1], args[2], args[3], args[4:])
    elif command == 'greet':
        greet(args[1])
    else:
        sys.exit('unknown command ' + command)


if __name__ == '__main__':
    main(sys.argv[1:])
