#!/bin/sh
# Starts Postfix and a Dovecot for its logins in the network namespace it runs in, configured
# in DIR with DIR/srv.pem and DIR/srv.key. Users: tim, uma (clear), hugo (SHA512-CRYPT).
set -eu
dir=$1
chmod 755 "$dir"
mkdir -p "$dir/postfix" "$dir/queue" "$dir/data" "$dir/dovecot" "$dir/mail"
chown postfix "$dir/data"
chown nobody:nogroup "$dir/mail"

printf 'tim:{PLAIN}tanstaaf\numa:{PLAIN}p\303\244ssw\303\266rt\342\202\254\nhugo:{SHA512-CRYPT}%s\n' \
    "$(openssl passwd -6 hashpass)" >"$dir/users"
cat >"$dir/dovecot.conf" <<CONF
base_dir = $dir/dovecot
state_dir = $dir/dovecot
log_path = $dir/dovecot.log
protocols =
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login cram-md5
passdb {
  driver = passwd-file
  args = username_format=%u $dir/users
}
userdb {
  driver = static
  args = uid=nobody gid=nogroup
}
service auth {
  unix_listener $dir/auth {
    mode = 0666
  }
}
CONF
dovecot -c "$dir/dovecot.conf"

printf 'ann@example.test ann/\nbob@example.test bob/\n' >"$dir/vmailbox"
cat >"$dir/postfix/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $dir/queue
data_directory = $dir/data
maillog_file = $dir/postfix.log
maillog_file_prefixes = $dir
myhostname = mail.example.test
mydestination =
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
virtual_mailbox_domains = example.test
virtual_mailbox_base = $dir/mail
virtual_mailbox_maps = texthash:$dir/vmailbox
virtual_uid_maps = static:65534
virtual_gid_maps = static:65534
smtpd_sasl_type = dovecot
smtpd_sasl_path = $dir/auth
smtpd_sasl_auth_enable = yes
smtpd_relay_restrictions = permit_sasl_authenticated, reject
smtpd_tls_cert_file = $dir/srv.pem
smtpd_tls_key_file = $dir/srv.key
smtpd_tls_security_level = may
CONF
awk '/^[a-z]/ && NF >= 8 && $1 != "smtp" && $1 != "submission" && $1 != "submissions" && $8 != "pipe" \
     { $5 = "n"; print }' /etc/postfix/master.cf >"$dir/postfix/master.cf"
cat >>"$dir/postfix/master.cf" <<CONF
smtp inet n - n - - smtpd
submission inet n - n - - smtpd -o smtpd_tls_security_level=encrypt -o smtpd_tls_auth_only=yes
submissions inet n - n - - smtpd -o smtpd_tls_wrappermode=yes
2525 inet n - n - - smtpd -o smtpd_tls_security_level=none
smtp unix - - n - - smtp
CONF
postfix -c "$dir/postfix" start >/dev/null 2>&1
